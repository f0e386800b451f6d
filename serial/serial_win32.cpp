#include <windows.h>

#include "core/app_state.h"
#include "serial/read_ahead.h"
#include "serial/serial_port.h"

namespace {

// The read-ahead of the one synchronous port, emptied whenever the port is
// opened or closed, or another handle comes along.
ReadAhead ahead;
HANDLE aheadPort = nullptr;
uint32_t lineBaud = 0;  // speed of the port opened last

void DiscardReadAhead() {
    ahead = ReadAhead();
    aheadPort = nullptr;
}

int32_t FailAndClose(HANDLE port, int32_t code) {
    ClearCommError(port, nullptr, nullptr);
    CloseHandle(port);
    return code;
}

}  // namespace

int32_t SerialOpen(int32_t port, uint32_t baud, uint32_t readTimeoutMs) {
    AppState.portHandle = nullptr;
    DiscardReadAhead();
    char name[16];
    SerialDeviceName(port, name, sizeof name);
    HANDLE h = CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return kSerialOpenFailed;

    DCB dcb;
    ZeroMemory(&dcb, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(h, &dcb)) return FailAndClose(h, kSerialGetStateFailed);
    dcb.BaudRate = baud;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    dcb.fDtrControl = DTR_CONTROL_DISABLE;
    dcb.fRtsControl = RTS_CONTROL_DISABLE;
    dcb.fOutX = FALSE;
    dcb.fInX = FALSE;
    dcb.fOutxCtsFlow = FALSE;
    dcb.fOutxDsrFlow = FALSE;
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
    AppState.portHandle = h;
    lineBaud = baud;
    AppState.portOpen = 1;
    return 0;
}

void SerialClose() {
    if (AppState.portHandle == nullptr) return;
    CloseHandle(static_cast<HANDLE>(AppState.portHandle));
    AppState.portHandle = nullptr;
    DiscardReadAhead();
}

int PortSystemRead(PortHandle port, uint8_t* buffer, uint32_t count, uint32_t* got) {
    DWORD n = 0;
    BOOL ok = ReadFile(static_cast<HANDLE>(port), buffer, count, &n, nullptr);
    *got = n;
    return ok ? 1 : 0;
}

int PortSystemWrite(PortHandle port, const uint8_t* bytes, uint32_t count, uint32_t* written) {
    DWORD n = 0;
    BOOL ok = WriteFile(static_cast<HANDLE>(port), bytes, count, &n, nullptr);
    *written = n;
    return ok ? 1 : 0;
}

// A blocking read under Wine is woken for every byte that arrives, so a long
// reply is better let in while no read is pending.
void PortAwaitLine(PortHandle port, uint32_t count) {
    if (port != aheadPort || lineBaud == 0) return;
    Sleep(static_cast<DWORD>(uint64_t(count) * 10 * 1000 / lineBaud));
}

uint32_t PortQueuedBytes(PortHandle port) {
    DWORD errors = 0;
    COMSTAT stat;
    return ClearCommError(static_cast<HANDLE>(port), &errors, &stat) ? stat.cbInQue : 0;
}

ReadAhead* PortReadAheadOf(PortHandle port) {
    if (port == nullptr) return nullptr;
    if (aheadPort != port) {
        DiscardReadAhead();
        aheadPort = static_cast<HANDLE>(port);
    }
    return &ahead;
}

void SerialSetDeviceDir(const char*) {}
const char* SerialDeviceDir() { return ""; }
