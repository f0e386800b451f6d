#include <sys/ioctl.h>
#include <unistd.h>

#include "core/line_log.h"
#include "serial/port_posix.h"
#include "serial/read_ahead.h"
#include "serial/serial_port.h"

int32_t SerialOpen(int32_t port, uint32_t baud, uint32_t readTimeoutMs) {
    char device[600];
    SerialComDevice(port, device, sizeof device);
    return SerialOpenDevice(device, baud, readTimeoutMs);
}

int PortSystemRead(PortHandle handle, uint8_t* buffer, uint32_t count, uint32_t* got) {
    PosixPort* port = static_cast<PosixPort*>(handle);
    *got = 0;
    if (port == nullptr) return 0;
    int ok = PosixReadFor(port->fd, buffer, count, port->readTimeoutMs, port->baud, got);
    LineLogBytes(kLineFromDevice, port->baud, buffer, *got);
    if (ok && *got < count)
        LineLogNote("timeout: %lu of %lu bytes in %lu ms", static_cast<unsigned long>(*got),
                    static_cast<unsigned long>(count), static_cast<unsigned long>(port->readTimeoutMs));
    return ok;
}

int PortSystemWrite(PortHandle handle, const uint8_t* bytes, uint32_t count, uint32_t* written) {
    PosixPort* port = static_cast<PosixPort*>(handle);
    *written = 0;
    if (port == nullptr) return 0;
    int ok = PosixWriteAll(port->fd, bytes, count, PortWriteLimitMs(count, port->baud), written);
    LineLogBytes(kLineToDevice, port->baud, bytes, *written);
    return ok;
}

// poll() wakes once for what has come: a pending read costs nothing per byte.
void PortAwaitLine(PortHandle, uint32_t) {}

uint32_t PortQueuedBytes(PortHandle handle) {
    PosixPort* port = static_cast<PosixPort*>(handle);
    int queued = 0;
    if (port == nullptr || ioctl(port->fd, FIONREAD, &queued) != 0 || queued < 0) return 0;
    return static_cast<uint32_t>(queued);
}

ReadAhead* PortReadAheadOf(PortHandle handle) {
    PosixPort* port = static_cast<PosixPort*>(handle);
    return port == nullptr ? nullptr : &port->readAhead;
}
