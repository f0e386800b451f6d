// Feeds arbitrary bytes to the frame reader through a real pipe: it must
// never store past limit + 1 bytes, must end on every input, and must give
// up on a stream that never stops after at most FrameReadBound bytes.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "serial/frame.h"
#include "serial/port_posix.h"

namespace {

// Bytes the reader has taken from the pipe: written, less what the pipe
// still holds and what the read-ahead keeps.
size_t Taken(const PosixPort& port, size_t written) {
    int queued = 0;
    if (ioctl(port.fd, FIONREAD, &queued) != 0) std::abort();
    return written - static_cast<size_t>(queued) - (port.readAhead.end - port.readAhead.next);
}

// The input as it comes, then silence.
void ReadOnce(const uint8_t* bytes, size_t size, uint16_t limit, uint8_t* buffer) {
    int fds[2];
    if (pipe2(fds, O_NONBLOCK) != 0) return;
    fcntl(fds[1], F_SETPIPE_SZ, 65536);
    if (write(fds[1], bytes, size) != static_cast<ssize_t>(size)) std::abort();
    close(fds[1]);  // past the end of its input the reader sees silence
    PosixPort port{fds[0], 0};
    for (int frame = 0; frame < 64; ++frame) {
        int32_t n = SerialReadFrame(&port, buffer, limit);
        if (n > limit + 1) std::abort();
        if (n < 0 && n != kFrameTooLong && n != kFrameChecksum) break;
    }
    close(fds[0]);
}

// The input over and over, as from a peer that never stops. The pipe holds
// more than a read may take and its read-ahead may gather, so within its
// bound the reader cannot tell this from an endless stream; had it read
// past the bound, it would have taken more than that before the pipe ran dry.
void ReadEndless(const uint8_t* bytes, size_t size, uint16_t limit, uint8_t* buffer) {
    const size_t bound = FrameReadBound(limit);
    const size_t reserve = bound + sizeof(ReadAhead::bytes);
    std::vector<uint8_t> stream;
    while (stream.size() < 3 * reserve) stream.insert(stream.end(), bytes, bytes + size);
    int fds[2];
    if (pipe2(fds, O_NONBLOCK) != 0) return;
    if (fcntl(fds[1], F_SETPIPE_SZ, 65536) < static_cast<int>(stream.size())) std::abort();
    if (write(fds[1], stream.data(), stream.size()) != static_cast<ssize_t>(stream.size())) std::abort();
    PosixPort port{fds[0], 0};
    size_t before = 0;
    while (stream.size() - before >= reserve) {
        int32_t n = SerialReadFrame(&port, buffer, limit);
        if (n > limit + 1) std::abort();
        size_t after = Taken(port, stream.size());
        if (after - before > bound) std::abort();
        before = after;
    }
    close(fds[0]);
    close(fds[1]);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1 || size > 8192) return 0;
    uint16_t limit = data[0];  // 0-255: small limits reach the overflow check often
    // Exactly limit + 1 bytes, so that the sanitizer sees any write beyond.
    uint8_t* buffer = static_cast<uint8_t*>(std::malloc(limit + 1u));
    ReadOnce(data + 1, size - 1, limit, buffer);
    if (size > 1) ReadEndless(data + 1, size - 1, limit, buffer);
    std::free(buffer);
    return 0;
}
