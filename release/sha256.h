// SHA-256 of a block of bytes, from the platform's own well-kept
// implementation: OpenSSL's libcrypto on Linux (sha256_openssl.cpp), the
// system's BCrypt on Windows (sha256_win32.cpp), the browser's
// crypto.subtle in the page (sha256_web.cpp), and Zig's standard library in
// the static cross builds (sha256_zig.cpp over sha256.zig).
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

enum { kSha256Bytes = 32 };

// Fills digest with the SHA-256 of size bytes at data. Returns 1, or 0 when
// the platform's implementation failed (digest then undefined).
int Sha256(const void* data, size_t size, uint8_t digest[kSha256Bytes]);

// The digest as 64 lower-case hex digits; "" when Sha256 failed.
std::string Sha256Hex(const void* data, size_t size);
