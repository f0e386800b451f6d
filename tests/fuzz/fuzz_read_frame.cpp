// Feeds arbitrary bytes to the frame reader through a real pipe: it must
// never store past limit + 1 bytes, and must end on every input.
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "serial/frame.h"
#include "serial/port_posix.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 8192) return 0;
    uint16_t limit = data[0];  // 0-255: small limits reach the overflow check often
    int fds[2];
    if (pipe2(fds, O_NONBLOCK) != 0) return 0;
    fcntl(fds[1], F_SETPIPE_SZ, 65536);
    if (write(fds[1], data + 1, size - 1) != static_cast<ssize_t>(size - 1)) std::abort();
    close(fds[1]);  // past the end of its input the reader sees silence
    PosixPort port{fds[0], 0};
    // Exactly limit + 1 bytes, so that the sanitizer sees any write beyond.
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(limit + 1u));
    for (int frame = 0; frame < 64; ++frame) {
        int32_t n = SerialReadFrame(&port, buffer, limit);
        if (n > limit + 1) std::abort();
        if (n < 0 && n != kFrameTooLong && n != kFrameChecksum) break;
    }
    std::free(buffer);
    close(fds[0]);
    return 0;
}
