#include "serial/port_win32.h"

#include <cstdio>

#include "core/line_log.h"
#include "serial/port_fault.h"
#include "serial/port_open.h"
#include "serial/serial_port.h"

namespace {

// The system's text for error, on one line.
void SystemText(DWORD error, char* text, size_t size) {
    DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                             static_cast<DWORD>(size), nullptr);
    while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ' || text[n - 1] == '.'))
        text[--n] = '\0';
    if (n == 0) std::snprintf(text, size, "system error %lu", static_cast<unsigned long>(error));
}

}  // namespace

void Win32SetUpLine(DCB* dcb, uint32_t baud, Win32Line line) {
    dcb->BaudRate = baud;
    dcb->ByteSize = 8;
    dcb->Parity = NOPARITY;
    dcb->StopBits = ONESTOPBIT;
    dcb->fRtsControl = RTS_CONTROL_DISABLE;
    dcb->fOutX = FALSE;
    dcb->fInX = FALSE;
    if (line == kWin32SyncLine) {
        dcb->fDtrControl = DTR_CONTROL_DISABLE;
        dcb->fOutxCtsFlow = FALSE;
        dcb->fOutxDsrFlow = FALSE;
    } else {
        // The keyer's line leaves CTS and DSR flow control as the port has them.
        dcb->fDtrControl = DTR_CONTROL_ENABLE;
        dcb->fDsrSensitivity = FALSE;
        dcb->fNull = FALSE;
    }
}

void Win32NoteOpenFailure(DWORD error) {
    char text[128];
    SystemText(error, text, sizeof text);
    switch (error) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_NAME:
        case ERROR_BAD_NETPATH:
            SetPortFault(kPortMissing, text);
            return;
        // A COM port that another program holds refuses with "access denied".
        case ERROR_ACCESS_DENIED:
        case ERROR_SHARING_VIOLATION:
            SetPortFault(kPortBusy, text);
            return;
    }
    SetPortFault(kPortFailed, text);
}

void Win32NoteStoppedTaking(DWORD written, DWORD count, DWORD waitMs) {
    char text[96];
    std::snprintf(text, sizeof text, "the line took %lu of %lu bytes in %lu ms", static_cast<unsigned long>(written),
                  static_cast<unsigned long>(count), static_cast<unsigned long>(waitMs));
    SetPortFault(kPortGone, text);
    LineLogNote("port error: %s", text);
}

void Win32NoteGone(DWORD error) {
    char text[128];
    SystemText(error, text, sizeof text);
    SetPortFault(kPortGone, text);
    LineLogNote("port error: %s", text);
}

namespace {

// The line's time-outs. The synchronous line changes only the read limits
// of what the port has; the keyer's sets them all (no write limit) and goes
// on whatever the port says.
int32_t SetUpTimeouts(HANDLE h, const PortLine& line) {
    COMMTIMEOUTS timeouts;
    ZeroMemory(&timeouts, sizeof timeouts);
    if (!line.keyer && !GetCommTimeouts(h, &timeouts)) return kSerialGetTimeoutsFailed;
    timeouts.ReadIntervalTimeout = 0;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = line.readTimeoutMs;
    if (!line.keyer) {
        // A write may take its bytes' time on the line and a margin
        // (PortWriteLimitMs); a line that stops taking them ends the write.
        timeouts.WriteTotalTimeoutMultiplier = (10 * 1000 + line.baud - 1) / line.baud;
        timeouts.WriteTotalTimeoutConstant = kPortWriteMarginMs;
    }
    if (!SetCommTimeouts(h, &timeouts) && !line.keyer) return kSerialSetTimeoutsFailed;
    return 0;
}

}  // namespace

int32_t PortOpenSystemLine(const char* device, const PortLine& line, PortHandle* port) {
    *port = nullptr;
    DWORD flags = FILE_ATTRIBUTE_NORMAL | (line.keyer ? FILE_FLAG_OVERLAPPED : 0);
    HANDLE h = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, flags, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Win32NoteOpenFailure(GetLastError());
        return kSerialOpenFailed;
    }
    Win32Port* opened = new Win32Port{h, line.baud};
    opened->dcb.DCBlength = sizeof opened->dcb;
    int32_t result = 0;
    if (!GetCommState(h, &opened->dcb)) {
        SetPortFault(kPortNotSerial, "");
        result = kSerialGetStateFailed;
    } else {
        Win32SetUpLine(&opened->dcb, line.baud, line.keyer ? kWin32KeyerLine : kWin32SyncLine);
        if (!SetCommState(h, &opened->dcb)) result = kSerialSetStateFailed;
    }
    if (result == 0) result = SetUpTimeouts(h, line);
    if (result != 0 && !line.keyer) ClearCommError(h, nullptr, nullptr);
    if (result == 0) {
        Sleep(100);
        if (!PurgeComm(h, PURGE_RXCLEAR)) result = kSerialPurgeFailed;
    }
    *port = opened;
    return result;
}

void PortCloseLine(PortHandle handle) {
    Win32Port* port = static_cast<Win32Port*>(handle);
    if (port == nullptr) return;
    CloseHandle(port->handle);
    delete port;
}
