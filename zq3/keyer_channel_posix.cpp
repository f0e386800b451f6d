// The keyer channel over termios. Transfers are bounded by the same waits as
// on Windows; nothing is left pending when a call returns, so a byte that
// comes late never lands in a buffer the caller has given up. It stays
// queued instead, and the next command drops it before it goes out, so that
// it is never read as that command's reply.
#include <termios.h>
#include <unistd.h>

#include "core/app_state.h"
#include "serial/port_posix.h"
#include "zq3/keyer_channel.h"

namespace {
PosixPort* Port() { return static_cast<PosixPort*>(AppState.keyerHandle); }
bool readGaveUp = false;  // a reply may still come late for the last read
}  // namespace

int KeyerOpen(int32_t port) {
    int fd = PosixOpenComPort(port);
    if (fd < 0) return kKeyerOpenFailed;
    AppState.keyerHandle = new PosixPort{fd, kKeyerPortReadTimeoutMs};
    AppState.portOpen = 1;
    readGaveUp = false;
    termios tio;
    if (tcgetattr(fd, &tio) != 0) return kKeyerGetStateFailed;
    if (!PosixSetLine(fd, 1200)) return kKeyerSetStateFailed;
    PlatformSleep(100);
    if (tcflush(fd, TCIFLUSH) != 0) return kKeyerPurgeFailed;
    return 0;
}

int KeyerWrite(const uint8_t* bytes, uint32_t count) {
    PosixPort* port = Port();
    if (port == nullptr) return 0;
    if (readGaveUp) {
        tcflush(port->fd, TCIFLUSH);
        readGaveUp = false;
    }
    uint32_t written = 0;
    return PosixWriteAll(port->fd, bytes, count, kKeyerWriteWaitMs, &written) && written == count;
}

int KeyerRead(uint8_t* buffer, uint32_t count) {
    PosixPort* port = Port();
    if (port == nullptr) return 0;
    uint32_t got = 0;
    int result = PosixReadFor(port->fd, buffer, count, kKeyerReadWaitMs, &got) && got == count;
    if (!result) readGaveUp = true;
    return result;
}

int KeyerSetSpeed(uint32_t baud) {
    PosixPort* port = Port();
    if (port == nullptr) return 0;
    return PosixSetLine(port->fd, baud);
}

void KeyerClose() {
    PosixPort* port = Port();
    if (port != nullptr) {
        close(port->fd);
        delete port;
    }
    AppState.keyerHandle = nullptr;
    AppState.portOpen = 0;
}
