#include "image/hex_record.h"

#include <cstring>

#include "core/app_state.h"

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

}  // namespace

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
