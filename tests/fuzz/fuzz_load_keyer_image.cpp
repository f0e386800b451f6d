// LoadKeyerImage on any file: a known result, nothing written outside the
// KeyerImage (ASan), and the version rule on whatever slot 0 holds.
#include <cstdint>
#include <cstdlib>

#include "core/app_state.h"
#include "fuzz_input_file.h"
#include "image/keyer_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static KeyerRecord* image = new KeyerRecord[kKeyerRecordCount];
    AppState.keyerImage = image;
    const char* path = WriteFuzzInput("fuzz_load_keyer_image", data, size);

    int32_t result = LoadKeyerImage(path);
    if (result < kHexBadRecordType || result == kHexEmptyPath) std::abort();

    int32_t version, variant;
    if (!ReadKeyerImageVersion(image, &version, &variant)) std::abort();
    if (version < 0 || version > 255 || variant < 0 || variant > 255) std::abort();
    if (KeyerVariantBand(variant) < 0 || KeyerVariantBand(variant) > kIcRuby) std::abort();
    return 0;
}
