// The keyer channel over termios. Transfers are bounded by the same waits as
// on Windows; nothing is left pending when a call returns, so a byte that
// comes late never lands in a buffer the caller has given up. It stays
// queued instead, for the next command to drop (keyer_channel.cpp).
#include <termios.h>
#include <unistd.h>

#include "core/app_state.h"
#include "core/line_log.h"
#include "serial/port_posix.h"
#include "serial/serial_port.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_line.h"

namespace {
PosixPort* Port() { return static_cast<PosixPort*>(AppState.keyerHandle); }
}  // namespace

int KeyerLineWrite(const uint8_t* bytes, uint32_t count, uint32_t waitMs) {
    PosixPort* port = Port();
    uint32_t written = 0;
    int ok = PosixWriteAll(port->fd, bytes, count, waitMs, &written) && written == count;
    LineLogBytes(kLineToDevice, port->baud, bytes, written);
    return ok;
}

int KeyerLineRead(uint8_t* buffer, uint32_t count, uint32_t waitMs) {
    PosixPort* port = Port();
    uint32_t got = 0;
    int result = PosixReadFor(port->fd, buffer, count, waitMs, port->baud, &got) && got == count;
    LineLogBytes(kLineFromDevice, port->baud, buffer, got);
    if (!result)
        LineLogNote("timeout: %lu of %lu bytes in %d ms", static_cast<unsigned long>(got),
                    static_cast<unsigned long>(count), static_cast<int>(waitMs));
    return result;
}

void KeyerLinePurge() {
    uint32_t queued = PortQueuedBytes(AppState.keyerHandle);
    tcflush(Port()->fd, TCIFLUSH);
    if (queued > 0) LineLogNote("discarded %lu stale bytes", static_cast<unsigned long>(queued));
}

int KeyerSetSpeed(uint32_t baud) {
    PosixPort* port = Port();
    if (port == nullptr) return 0;
    int ok = PosixSetLine(port->fd, baud);
    if (ok) port->baud = baud;
    LineLogNote("speed %lu%s", static_cast<unsigned long>(baud), ok ? "" : " failed");
    return ok;
}

uint32_t KeyerLineSpeed() { return Port() == nullptr ? 0 : Port()->baud; }
