#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "core/app_state.h"
#include "core/line_log.h"
#include "serial/port_posix.h"
#include "serial/read_ahead.h"
#include "serial/serial_port.h"

int32_t SerialOpen(int32_t port, uint32_t baud, uint32_t readTimeoutMs) {
    char device[600];
    SerialComDevice(port, device, sizeof device);
    return SerialOpenDevice(device, baud, readTimeoutMs);
}

int32_t SerialOpenDevice(const char* device, uint32_t baud, uint32_t readTimeoutMs) {
    AppState.portHandle = nullptr;
    int fd = PosixOpenDevice(device);
    if (fd < 0) return kSerialOpenFailed;
    termios tio;
    if (tcgetattr(fd, &tio) != 0) {
        PosixNoteNotSerial();
        PosixCloseDevice(fd);
        return kSerialGetStateFailed;
    }
    if (!PosixSetLine(fd, baud)) {
        PosixCloseDevice(fd);
        return kSerialSetStateFailed;
    }
    // As the Windows line set-up: DTR and RTS held off.
    PosixSetModemLines(fd, 0, 0);
    PlatformSleep(100);
    if (tcflush(fd, TCIFLUSH) != 0) {
        PosixCloseDevice(fd);
        return kSerialPurgeFailed;
    }
    AppState.portHandle = new PosixPort{fd, readTimeoutMs, baud};
    AppState.portOpen = 1;
    LineLogNote("open %s %lu", device, static_cast<unsigned long>(baud));
    return 0;
}

void SerialClose() {
    PosixPort* port = static_cast<PosixPort*>(AppState.portHandle);
    if (port == nullptr) return;
    PosixCloseDevice(port->fd);
    delete port;
    AppState.portHandle = nullptr;
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
    int ok = PosixWriteAll(port->fd, bytes, count, 0, written);
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
