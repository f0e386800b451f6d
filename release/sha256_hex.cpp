#include <cstdio>

#include "release/sha256.h"

std::string Sha256Hex(const void* data, size_t size) {
    uint8_t digest[kSha256Bytes];
    if (!Sha256(data, size, digest)) return "";
    std::string hex;
    char pair[3];
    for (uint8_t byte : digest) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        hex += pair;
    }
    return hex;
}
