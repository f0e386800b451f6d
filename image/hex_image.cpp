#include "image/hex_image.h"

#include <cstring>

#include "core/app_state.h"
#include "image/hex_lines.h"

namespace {

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads the field of width characters at text: the hex digits it starts
// with, at most width of them. Returns false when it starts with none.
// A NUL is no digit, so the read never passes the end of the line.
bool ReadField(const char* text, int width, uint32_t* value) {
    uint32_t v = 0;
    int i = 0;
    for (; i < width; ++i) {
        int digit = HexDigit(text[i]);
        if (digit < 0) break;
        v = v * 16 + static_cast<uint32_t>(digit);
    }
    if (i == 0) return false;
    *value = v;
    return true;
}

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

int32_t ParseHexRecord(const char* line, HexRecord* record) {
    if (line == nullptr || record == nullptr || line[0] != ':') return 0;
    size_t length = std::strlen(line);
    if (length < 11) return 0;
    uint32_t count, address, type, checksum;
    if (!ReadField(line + 1, 2, &count)) return 0;
    if (length < 2 * count + 11) return 0;
    if (!ReadField(line + 3, 4, &address) || !ReadField(line + 7, 2, &type)) return 0;
    uint32_t sum = count + (address >> 8) + address + type;
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t byte;
        if (!ReadField(line + 9 + 2 * i, 2, &byte)) return 0;
        AppState.hexRecordData[i] = static_cast<uint8_t>(byte);
        sum += byte;
    }
    if (!ReadField(line + 9 + 2 * count, 2, &checksum)) return 0;
    if (((sum + checksum) & 0xFF) != 0) return 0;
    record->count = static_cast<uint8_t>(count);
    record->address = static_cast<uint16_t>(address);
    record->type = static_cast<uint8_t>(type);
    record->checksum = static_cast<uint8_t>(checksum);
    return 1;
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
