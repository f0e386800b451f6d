#include "image/hex_writer.h"

#include <cstdio>
#include <string>

#include "core/platform.h"

namespace {

const uint32_t kLineBytes = 16;

// One record: count, 16-bit address, type, data, checksum.
int PutRecord(FILE* file, uint8_t type, uint16_t address, const uint8_t* data, uint32_t count) {
    uint32_t sum = count + (address >> 8) + (address & 0xFF) + type;
    if (std::fprintf(file, ":%02X%04X%02X", static_cast<unsigned>(count), static_cast<unsigned>(address),
                     static_cast<unsigned>(type)) < 0)
        return 0;
    for (uint32_t i = 0; i < count; ++i) {
        sum += data[i];
        if (std::fprintf(file, "%02X", static_cast<unsigned>(data[i])) < 0) return 0;
    }
    return std::fprintf(file, "%02X\n", static_cast<unsigned>((0x100 - (sum & 0xFF)) & 0xFF)) >= 0;
}

int PutImage(FILE* file, const uint8_t* image, uint32_t length) {
    for (uint32_t at = 0; at < length; at += kLineBytes) {
        if (at % 0x10000 == 0) {
            const uint8_t base[2] = {static_cast<uint8_t>(at >> 24), static_cast<uint8_t>(at >> 16)};
            if (!PutRecord(file, 0x04, 0, base, 2)) return 0;
        }
        uint32_t count = length - at < kLineBytes ? length - at : kLineBytes;
        if (!PutRecord(file, 0x00, static_cast<uint16_t>(at), image + at, count)) return 0;
    }
    return PutRecord(file, 0x01, 0, nullptr, 0);
}

}  // namespace

int SaveHexImage(const char* path, const uint8_t* image, uint32_t length) {
    std::string part = std::string(path) + ".part";
    FILE* file = std::fopen(part.c_str(), "w");
    if (file == nullptr) return 0;
    int ok = PutImage(file, image, length);
    if (std::fclose(file) != 0) ok = 0;
    // One step: until it is done the old file stays whole under the name.
    if (ok && !PlatformReplaceFile(part.c_str(), path)) ok = 0;
    if (!ok) std::remove(part.c_str());
    return ok;
}
