#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include "core/app_state.h"
#include "serial/port_posix.h"
#include "serial/read_ahead.h"
#include "serial/serial_port.h"

int32_t SerialOpen(int32_t port, uint32_t baud, uint32_t readTimeoutMs) {
    AppState.portHandle = nullptr;
    int fd = PosixOpenComPort(port);
    if (fd < 0) return kSerialOpenFailed;
    termios tio;
    if (tcgetattr(fd, &tio) != 0) {
        close(fd);
        return kSerialGetStateFailed;
    }
    if (!PosixSetLine(fd, baud)) {
        close(fd);
        return kSerialSetStateFailed;
    }
    PlatformSleep(100);
    if (tcflush(fd, TCIFLUSH) != 0) {
        close(fd);
        return kSerialPurgeFailed;
    }
    AppState.portHandle = new PosixPort{fd, readTimeoutMs};
    AppState.portOpen = 1;
    return 0;
}

void SerialClose() {
    PosixPort* port = static_cast<PosixPort*>(AppState.portHandle);
    if (port == nullptr) return;
    close(port->fd);
    delete port;
    AppState.portHandle = nullptr;
}

int PortSystemRead(PortHandle handle, uint8_t* buffer, uint32_t count, uint32_t* got) {
    PosixPort* port = static_cast<PosixPort*>(handle);
    *got = 0;
    if (port == nullptr) return 0;
    return PosixReadFor(port->fd, buffer, count, port->readTimeoutMs, got);
}

int PortSystemWrite(PortHandle handle, const uint8_t* bytes, uint32_t count, uint32_t* written) {
    PosixPort* port = static_cast<PosixPort*>(handle);
    *written = 0;
    if (port == nullptr) return 0;
    return PosixWriteAll(port->fd, bytes, count, 0, written);
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
