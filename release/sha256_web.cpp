// SHA-256 through the browser's crypto.subtle (the page). The digest is a
// promise: the call waits for it as the serial calls wait (ASYNCIFY).
#include <emscripten.h>

#include "release/sha256.h"

// Returns 1 with the digest written at out, 0 when the browser refused.
EM_ASYNC_JS(int, WebSha256, (const uint8_t* data, size_t size, uint8_t* out), {
    try {
        const bytes = HEAPU8.slice(data, data + size);
        const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', bytes));
        HEAPU8.set(digest, out);
        return 1;
    } catch (e) {
        return 0;
    }
});

int Sha256(const void* data, size_t size, uint8_t digest[kSha256Bytes]) {
    return WebSha256(static_cast<const uint8_t*>(data), size, digest);
}
