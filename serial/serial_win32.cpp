#include <windows.h>

#include "core/app_state.h"
#include "core/line_log.h"
#include "serial/port_fault.h"
#include "serial/serial_port.h"
#include "serial/port_win32.h"

namespace {

Win32Port* Port(PortHandle port) { return static_cast<Win32Port*>(port); }

int32_t FailAndClose(HANDLE port, int32_t code) {
    ClearCommError(port, nullptr, nullptr);
    CloseHandle(port);
    return code;
}

}  // namespace

int32_t SerialOpen(int32_t port, uint32_t baud, uint32_t readTimeoutMs) {
    char name[16];
    SerialDeviceName(port, name, sizeof name);
    return SerialOpenDevice(name, baud, readTimeoutMs);
}

int32_t SerialOpenDevice(const char* device, uint32_t baud, uint32_t readTimeoutMs) {
    AppState.portHandle = nullptr;
    ClearPortFault();
    HANDLE h = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Win32NoteOpenFailure(GetLastError());
        return kSerialOpenFailed;
    }

    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) {
        SetPortFault(kPortNotSerial, "");
        return FailAndClose(h, kSerialGetStateFailed);
    }
    Win32SetUpLine(&dcb, baud, kWin32SyncLine);
    if (!SetCommState(h, &dcb)) return FailAndClose(h, kSerialSetStateFailed);

    COMMTIMEOUTS timeouts;
    ZeroMemory(&timeouts, sizeof timeouts);
    if (!GetCommTimeouts(h, &timeouts)) return FailAndClose(h, kSerialGetTimeoutsFailed);
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = readTimeoutMs;
    if (!SetCommTimeouts(h, &timeouts)) return FailAndClose(h, kSerialSetTimeoutsFailed);

    Sleep(100);
    if (!PurgeComm(h, PURGE_RXCLEAR)) {
        CloseHandle(h);
        return kSerialPurgeFailed;
    }
    AppState.portHandle = new Win32Port{h, baud};
    AppState.portOpen = 1;
    LineLogNote("open %s %lu", device, static_cast<unsigned long>(baud));
    return 0;
}

void SerialClose() {
    Win32Port* port = Port(AppState.portHandle);
    if (port == nullptr) return;
    CloseHandle(port->handle);
    delete port;
    AppState.portHandle = nullptr;
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
