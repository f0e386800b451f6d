// ParseHexRecord on any line: no read past the line, no write past
// hexRecordData, and a line it accepts really is a record.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "core/app_state.h"
#include "image/hex_image.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that reading past the terminator is caught.
    std::string line(reinterpret_cast<const char*>(data), size);
    HexRecord record;
    if (!ParseHexRecord(line.c_str(), &record)) return 0;
    size_t length = std::strlen(line.c_str());
    if (line[0] != ':' || length < 2u * record.count + 11) std::abort();
    uint32_t sum = record.count + (record.address >> 8) + record.address + record.type + record.checksum;
    for (int i = 0; i < record.count; ++i) sum += AppState.hexRecordData[i];
    if (sum & 0xFF) std::abort();
    return 0;
}
