#include "image/hex_image.h"

#include <cstring>

#include "core/app_state.h"
#include "image/hex_lines.h"

namespace {

// One bit per ImageBuffer address: set where the last load stored a byte.
uint8_t storedBits[kImageBufferSize / 8];

void MarkStored(uint32_t start, uint32_t count) {
    for (uint32_t a = start; a < start + count; ++a) storedBits[a / 8] |= static_cast<uint8_t>(1u << (a % 8));
}

}  // namespace

int32_t HexImageFirstStored(uint32_t from, uint32_t to) {
    if (to > kImageBufferSize) to = kImageBufferSize;
    for (uint32_t a = from; a < to; ++a) {
        if (a % 8 == 0 && storedBits[a / 8] == 0) {
            a += 7;
            continue;
        }
        if (storedBits[a / 8] & (1u << (a % 8))) return static_cast<int32_t>(a);
    }
    return -1;
}

int32_t LoadHexImage(const char* path, int32_t kind) {
    uint8_t* image = AppState.hexImage;
    if (image == nullptr) return kHexNoBuffer;
    std::memset(image, 0xFF, kImageBufferSize);
    std::memset(storedBits, 0, sizeof storedBits);

    FILE* file;
    int32_t result = OpenHexFile(path, &file);
    if (result < 0) return result;

    const uint32_t limit = kind == PSoCImage ? kPsocImageLimit : kT62ImageLimit;
    uint32_t base = 0;
    int64_t stored = 0;
    for (;;) {
        HexRecord record;
        result = NextHexRecord(file, &record);
        if (result < 0) break;
        if (record.type == kHexEndOfFile) {
            result = stored > INT32_MAX ? INT32_MAX : static_cast<int32_t>(stored);
            break;
        }
        if (record.type == kHexExtendedLinear) {
            base = AppState.hexRecordData[1] * 0x10000u;
            continue;
        }
        uint32_t start = base + record.address;
        if (start > limit) continue;
        uint32_t count = record.count;
        if (count > kImageBufferSize - start) count = kImageBufferSize - start;
        std::memcpy(image + start, AppState.hexRecordData, count);
        MarkStored(start, count);
        stored += count;
    }
    std::fclose(file);
    return result;
}
