// SHA-256 through OpenSSL's libcrypto (the native Linux build).
#include <openssl/evp.h>

#include "release/sha256.h"

int Sha256(const void* data, size_t size, uint8_t digest[kSha256Bytes]) {
    unsigned int length = 0;
    return EVP_Digest(data, size, digest, &length, EVP_sha256(), nullptr) == 1 && length == kSha256Bytes;
}
