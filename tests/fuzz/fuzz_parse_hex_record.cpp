// ParseHexRecord on any line: no read past the line, no write past
// hexRecordData, and the same decision and fields as a reading of the line's
// characters done here, position by position.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/app_state.h"
#include "image/hex_record.h"

namespace {

// The value of one hexadecimal digit, or -1.
int DigitValue(char c) {
    static const char kDigits[] = "0123456789abcdef";
    char lower = (c >= 'A' && c <= 'F') ? static_cast<char>(c - 'A' + 'a') : c;
    for (int i = 0; i < 16; ++i)
        if (kDigits[i] == lower) return i;
    return -1;
}

// The field of width characters at position at: the hex digits it starts
// with, at most width of them; false when its first character is none.
bool Field(const std::string& line, size_t at, size_t width, uint32_t* value) {
    uint32_t v = 0;
    size_t digits = 0;
    while (digits < width && at + digits < line.size() && DigitValue(line[at + digits]) >= 0) {
        v = v * 16 + static_cast<uint32_t>(DigitValue(line[at + digits]));
        ++digits;
    }
    *value = v;
    return digits > 0;
}

struct Expected {
    bool accepted = false;
    uint32_t count = 0, address = 0, type = 0, checksum = 0;
    uint8_t data[256] = {};
};

// What the record layout makes of the line: ':' first, then count (1-2),
// address (3-6), type (7-8), count data bytes from 9, then the checksum,
// every field at its fixed position; all of it summing to 0 mod 256.
Expected Decode(const std::string& line) {
    Expected e;
    if (line.size() < 11 || line[0] != ':') return e;
    if (!Field(line, 1, 2, &e.count)) return e;
    if (line.size() < 2 * e.count + 11) return e;
    if (!Field(line, 3, 4, &e.address) || !Field(line, 7, 2, &e.type)) return e;
    uint32_t sum = e.count + (e.address >> 8) + (e.address & 0xFF) + e.type;
    for (uint32_t i = 0; i < e.count; ++i) {
        uint32_t byte;
        if (!Field(line, 9 + 2 * i, 2, &byte)) return e;
        e.data[i] = static_cast<uint8_t>(byte);
        sum += byte;
    }
    if (!Field(line, 9 + 2 * e.count, 2, &e.checksum)) return e;
    e.accepted = (sum + e.checksum) % 256 == 0;
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that reading past the terminator is caught.
    std::string bytes(reinterpret_cast<const char*>(data), size);
    // The parser takes a C string: the line ends at the first NUL.
    const std::string line(bytes.c_str());
    const Expected expected = Decode(line);

    HexRecord record;
    std::memset(AppState.hexRecordData, 0xA5, sizeof AppState.hexRecordData);
    int32_t accepted = ParseHexRecord(bytes.c_str(), &record);
    if (accepted != (expected.accepted ? 1 : 0)) std::abort();
    if (!accepted) return 0;
    if (record.count != expected.count || record.address != expected.address || record.type != expected.type ||
        record.checksum != expected.checksum)
        std::abort();
    if (std::memcmp(AppState.hexRecordData, expected.data, expected.count) != 0) std::abort();
    return 0;
}
