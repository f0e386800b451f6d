// The keyer channel over termios. Transfers are bounded by the same waits as
// on Windows; nothing is left pending when a call returns, so a byte that
// comes late never lands in a buffer the caller has given up. It stays
// queued instead, and the next command drops it before it goes out, so that
// it is never read as that command's reply.
#include <termios.h>
#include <unistd.h>

#include "core/app_state.h"
#include "core/line_log.h"
#include "serial/port_open.h"
#include "serial/port_posix.h"
#include "serial/serial_port.h"
#include "zq3/keyer_channel.h"

namespace {
PosixPort* Port() { return static_cast<PosixPort*>(AppState.keyerHandle); }
bool readGaveUp = false;  // a reply may still come late for the last read
}  // namespace

int KeyerOpen(int32_t port) {
    char device[600];
    SerialComDevice(port, device, sizeof device);
    return KeyerOpenDevice(device);
}

int KeyerOpenDevice(const char* device) {
    // A port still held would otherwise stay open, locked, behind the new one.
    PortCloseLine(AppState.keyerHandle);
    AppState.keyerHandle = nullptr;
    readGaveUp = false;
    int result = PortOpenLine(device, PortLine{kKeyerBaud, kKeyerPortReadTimeoutMs, 1}, &AppState.keyerHandle);
    if (AppState.keyerHandle != nullptr) AppState.portOpen = 1;
    return result;
}

int KeyerWrite(const uint8_t* bytes, uint32_t count) {
    PosixPort* port = Port();
    if (port == nullptr) return 0;
    if (readGaveUp) KeyerDiscardInput();
    uint32_t written = 0;
    int ok = PosixWriteAll(port->fd, bytes, count, kKeyerWriteWaitMs, &written) && written == count;
    LineLogBytes(kLineToDevice, port->baud, bytes, written);
    return ok;
}

int KeyerRead(uint8_t* buffer, uint32_t count) { return KeyerReadWithin(buffer, count, kKeyerReadWaitMs); }

int KeyerReadWithin(uint8_t* buffer, uint32_t count, uint32_t waitMs) {
    PosixPort* port = Port();
    if (port == nullptr) return 0;
    uint32_t got = 0;
    int result = PosixReadFor(port->fd, buffer, count, waitMs, port->baud, &got) && got == count;
    LineLogBytes(kLineFromDevice, port->baud, buffer, got);
    if (!result) {
        readGaveUp = true;
        LineLogNote("timeout: %lu of %lu bytes in %d ms", static_cast<unsigned long>(got),
                    static_cast<unsigned long>(count), static_cast<int>(waitMs));
    }
    return result;
}

int KeyerSetSpeed(uint32_t baud) {
    PosixPort* port = Port();
    if (port == nullptr) return 0;
    int ok = PosixSetLine(port->fd, baud);
    if (ok) port->baud = baud;
    LineLogNote("speed %lu%s", static_cast<unsigned long>(baud), ok ? "" : " failed");
    return ok;
}

void KeyerDiscardInput() {
    PosixPort* port = Port();
    if (port == nullptr) return;
    uint32_t queued = PortQueuedBytes(AppState.keyerHandle);
    tcflush(port->fd, TCIFLUSH);
    readGaveUp = false;
    if (queued > 0) LineLogNote("discarded %lu stale bytes", static_cast<unsigned long>(queued));
}

uint32_t KeyerInputWaiting() { return PortQueuedBytes(AppState.keyerHandle); }

uint32_t KeyerLineSpeed() { return Port() == nullptr ? 0 : Port()->baud; }

void KeyerClose() {
    PortCloseLine(AppState.keyerHandle);
    AppState.keyerHandle = nullptr;
    AppState.portOpen = 0;
}
