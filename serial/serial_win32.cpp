#include <windows.h>

#include "core/line_log.h"
#include "serial/port_fault.h"
#include "serial/serial_port.h"
#include "serial/port_win32.h"

namespace {

Win32Port* Port(PortHandle port) { return static_cast<Win32Port*>(port); }

}  // namespace

int32_t SerialOpen(int32_t port, uint32_t baud, uint32_t readTimeoutMs) {
    char name[16];
    SerialDeviceName(port, name, sizeof name);
    return SerialOpenDevice(name, baud, readTimeoutMs);
}

int PortSystemRead(PortHandle port, uint8_t* buffer, uint32_t count, uint32_t* got) {
    DWORD n = 0;
    if (port == nullptr) return 0;
    BOOL ok = ReadFile(Port(port)->handle, buffer, count, &n, nullptr);
    if (!ok) Win32NoteGone(GetLastError());
    *got = n;
    LineLogBytes(kLineFromDevice, Port(port)->baud, buffer, n);
    if (ok && n < count)
        LineLogNote("timeout: %lu of %lu bytes", static_cast<unsigned long>(n), static_cast<unsigned long>(count));
    return ok ? 1 : 0;
}

int PortSystemWrite(PortHandle port, const uint8_t* bytes, uint32_t count, uint32_t* written) {
    DWORD n = 0;
    if (port == nullptr) return 0;
    BOOL ok = WriteFile(Port(port)->handle, bytes, count, &n, nullptr);
    if (!ok) Win32NoteGone(GetLastError());
    *written = n;
    LineLogBytes(kLineToDevice, Port(port)->baud, bytes, n);
    // The port's write time-out ran out before every byte went.
    if (ok && n < count) {
        Win32NoteStoppedTaking(n, count, PortWriteLimitMs(count, Port(port)->baud));
        ok = FALSE;
    }
    return ok ? 1 : 0;
}

// A blocking read under Wine is woken for every byte that arrives, so a long
// reply is better let in while no read is pending.
void PortAwaitLine(PortHandle port, uint32_t count) {
    if (port == nullptr || Port(port)->baud == 0) return;
    Sleep(static_cast<DWORD>(uint64_t(count) * 10 * 1000 / Port(port)->baud));
}

uint32_t PortQueuedBytes(PortHandle port) {
    DWORD errors = 0;
    COMSTAT stat;
    if (port == nullptr) return 0;
    return ClearCommError(Port(port)->handle, &errors, &stat) ? stat.cbInQue : 0;
}

ReadAhead* PortReadAheadOf(PortHandle port) { return port == nullptr ? nullptr : &Port(port)->readAhead; }

// Windows lets go of every handle when the program ends.
void SerialAbandonPorts() {}

void SerialSetDeviceDir(const char*) {}
const char* SerialDeviceDir() { return ""; }
