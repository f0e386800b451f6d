// SHA-256 through the system's BCrypt (Windows).
#include <windows.h>
#include <bcrypt.h>

#include "release/sha256.h"

int Sha256(const void* data, size_t size, uint8_t digest[kSha256Bytes]) {
    if (size > 0xFFFFFFFFu) return 0;
    BCRYPT_ALG_HANDLE algorithm = nullptr;
    if (BCryptOpenAlgorithmProvider(&algorithm, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) return 0;
    NTSTATUS status = BCryptHash(algorithm, nullptr, 0, static_cast<PUCHAR>(const_cast<void*>(data)),
                                 static_cast<ULONG>(size), digest, kSha256Bytes);
    BCryptCloseAlgorithmProvider(algorithm, 0);
    return status >= 0;
}
