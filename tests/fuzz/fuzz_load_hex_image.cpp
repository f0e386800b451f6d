// LoadHexImage on any file, for both kinds: the result and every byte of the
// ImageBuffer as the file's records (read by fuzz_hex_records.h) make them,
// and nothing written outside the ImageBuffer (ASan).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/app_state.h"
#include "fuzz_hex_records.h"
#include "fuzz_input_file.h"
#include "image/hex_image.h"

namespace {

// The image the records make for kind: data records whose absolute start is
// within the kind's limit are stored whole, except bytes from 0x40000 on.
// Returns the number of bytes stored.
int64_t StoreRecords(const std::vector<FileRecord>& records, int32_t kind, uint8_t* image) {
    const uint32_t limit = kind == PSoCImage ? 0x35FF : 0x3FFFF;
    std::memset(image, 0xFF, kImageBufferSize);
    uint32_t base = 0;
    int64_t stored = 0;
    for (const FileRecord& r : records) {
        if (r.record.type == kHexExtendedLinear) {
            base = r.data[1] * 0x10000u;
            continue;
        }
        uint32_t start = base + r.record.address;
        if (start > limit) continue;
        for (size_t i = 0; i < r.data.size() && start + i < kImageBufferSize; ++i) {
            image[start + i] = r.data[i];
            ++stored;
        }
    }
    return stored;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static uint8_t* buffer = new uint8_t[kImageBufferSize];
    static uint8_t* expected = new uint8_t[kImageBufferSize];
    AppState.hexImage = buffer;
    const char* path = WriteFuzzInput("fuzz_load_hex_image", data, size);

    std::vector<FileRecord> records;
    const int32_t outcome = ReadFileRecords(data, size, &records);
    for (int32_t kind : {T62Image, PSoCImage}) {
        int32_t result = LoadHexImage(path, kind);
        int64_t stored = StoreRecords(records, kind, expected);
        if (result != (outcome == 0 ? stored : outcome)) std::abort();
        if (std::memcmp(buffer, expected, kImageBufferSize) != 0) std::abort();
    }
    return 0;
}
