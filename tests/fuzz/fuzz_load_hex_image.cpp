// LoadHexImage on any file, for both kinds: a known result and nothing
// written outside the ImageBuffer (ASan) or above a kind's reach.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "core/app_state.h"
#include "fuzz_input_file.h"
#include "image/hex_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint8_t* buffer = new uint8_t[kImageBufferSize];
    AppState.hexImage = buffer;
    const char* path = WriteFuzzInput("fuzz_load_hex_image", data, size);

    int32_t result = LoadHexImage(path, T62Image);
    if (result < kHexBadRecordType || result == kHexEmptyPath) std::abort();

    result = LoadHexImage(path, PSoCImage);
    if (result < kHexBadRecordType || result == kHexEmptyPath) std::abort();
    // A PSoC record starts at 0x35FF at the latest and holds 255 bytes at most.
    static const uint8_t* fill = static_cast<const uint8_t*>(std::memset(new uint8_t[kImageBufferSize], 0xFF, kImageBufferSize));
    const uint32_t reach = kPsocImageLimit + 256;
    if (std::memcmp(buffer + reach, fill, kImageBufferSize - reach) != 0) std::abort();
    return 0;
}
