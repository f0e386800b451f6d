#include "serial/port_win32.h"

#include <cstdio>

#include "core/line_log.h"
#include "serial/port_fault.h"

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

void Win32NoteGone(DWORD error) {
    char text[128];
    SystemText(error, text, sizeof text);
    SetPortFault(kPortGone, text);
    LineLogNote("port error: %s", text);
}
