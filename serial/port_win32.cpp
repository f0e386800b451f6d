#include "serial/port_win32.h"

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
