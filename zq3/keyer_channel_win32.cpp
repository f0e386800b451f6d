// The keyer channel over overlapped Win32 serial I/O. Every transfer has its
// own event and OVERLAPPED record and waits a bounded time; a transfer still
// pending when the wait runs out is cancelled and its completion awaited, so
// it can never land later in a buffer, record or event that is gone. The
// reply it waited for may still come, for the next command to drop
// (keyer_channel.cpp).
#include <windows.h>

#include "core/app_state.h"
#include "core/line_log.h"
#include "serial/port_fault.h"
#include "serial/serial_port.h"
#include "serial/port_win32.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_line.h"

namespace {

Win32Port* Port() { return static_cast<Win32Port*>(AppState.keyerHandle); }
HANDLE Handle() { return Port() == nullptr ? nullptr : Port()->handle; }

// One transfer: read when reading, else write.
int Transfer(bool reading, void* buffer, DWORD count, DWORD waitMs) {
    HANDLE port = Handle();
    if (port == nullptr) return 0;
    OVERLAPPED ov;
    ZeroMemory(&ov, sizeof ov);
    ov.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (ov.hEvent == nullptr) return 0;

    DWORD done = 0;
    BOOL ok = reading ? ReadFile(port, buffer, count, &done, &ov)
                      : WriteFile(port, buffer, count, &done, &ov);
    int result = 0;
    if (ok) {
        result = done == count;
    } else if (GetLastError() == ERROR_IO_PENDING) {
        if (WaitForSingleObject(ov.hEvent, waitMs) == WAIT_OBJECT_0) {
            if (GetOverlappedResult(port, &ov, &done, FALSE))
                result = done == count;
            else
                Win32NoteGone(GetLastError());
        } else {
            CancelIoEx(port, &ov);
            GetOverlappedResult(port, &ov, &done, TRUE);
        }
    } else {
        Win32NoteGone(GetLastError());
    }
    CloseHandle(ov.hEvent);
    // A command that does not go out in its wait: the line stopped taking
    // bytes, as stuck as a device that has gone.
    if (!reading && !result && LastPortFault().problem != kPortGone) Win32NoteStoppedTaking(done, count, waitMs);
    LineLogBytes(reading ? kLineFromDevice : kLineToDevice, Port()->baud, static_cast<uint8_t*>(buffer), done);
    if (reading && !result)
        LineLogNote("timeout: %lu of %lu bytes in %lu ms", static_cast<unsigned long>(done),
                    static_cast<unsigned long>(count), static_cast<unsigned long>(waitMs));
    return result;
}

}  // namespace

int KeyerLineWrite(const uint8_t* bytes, uint32_t count, uint32_t waitMs) {
    return Transfer(false, const_cast<uint8_t*>(bytes), count, waitMs);
}

int KeyerLineRead(uint8_t* buffer, uint32_t count, uint32_t waitMs) { return Transfer(true, buffer, count, waitMs); }

// No transfer is pending between calls, so the purge cancels nothing.
void KeyerLinePurge() {
    uint32_t queued = PortQueuedBytes(AppState.keyerHandle);
    PurgeComm(Handle(), PURGE_RXCLEAR);
    if (queued > 0) LineLogNote("discarded %lu stale bytes", static_cast<unsigned long>(queued));
}

int KeyerSetSpeed(uint32_t baud) {
    Win32Port* port = Port();
    if (port == nullptr) return 0;
    port->dcb.BaudRate = baud;
    int ok = SetCommState(port->handle, &port->dcb) ? 1 : 0;
    if (ok) port->baud = baud;
    LineLogNote("speed %lu%s", static_cast<unsigned long>(baud), ok ? "" : " failed");
    return ok;
}

uint32_t KeyerLineSpeed() { return Port() == nullptr ? 0 : Port()->baud; }
