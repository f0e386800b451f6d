// SHA-256 through Zig's standard library (sha256.zig), for the static
// builds made with the Zig tool chain, which have no system library for it.
#include "release/sha256.h"

extern "C" void ridorez_sha256(const uint8_t* data, size_t size, uint8_t* digest);

int Sha256(const void* data, size_t size, uint8_t digest[kSha256Bytes]) {
    static const uint8_t none = 0;
    ridorez_sha256(size > 0 ? static_cast<const uint8_t*>(data) : &none, size, digest);
    return 1;
}
