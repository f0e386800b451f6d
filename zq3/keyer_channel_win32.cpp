// The keyer channel over overlapped Win32 serial I/O. Every transfer has its
// own event and OVERLAPPED record and waits a bounded time; a transfer still
// pending when the wait runs out is cancelled and its completion awaited, so
// it can never land later in a buffer, record or event that is gone. The
// reply it waited for may still come; the next command first drops whatever
// came in meanwhile, so that it never reads that late reply as its own.
#include <windows.h>

#include "core/app_state.h"
#include "core/line_log.h"
#include "serial/port_fault.h"
#include "serial/serial_port.h"
#include "serial/port_win32.h"
#include "zq3/keyer_channel.h"

namespace {

DCB keyerDcb;
COMMTIMEOUTS keyerTimeouts;
bool readGaveUp = false;  // a reply may still come late for the last read

HANDLE Handle() { return static_cast<HANDLE>(AppState.keyerHandle); }

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
    LineLogBytes(reading ? kLineFromDevice : kLineToDevice, keyerDcb.BaudRate, static_cast<uint8_t*>(buffer), done);
    if (reading && !result)
        LineLogNote("timeout: %lu of %lu bytes in %lu ms", static_cast<unsigned long>(done),
                    static_cast<unsigned long>(count), static_cast<unsigned long>(waitMs));
    return result;
}

}  // namespace

int KeyerOpen(int32_t port) {
    char name[16];
    SerialDeviceName(port, name, sizeof name);
    return KeyerOpenDevice(name);
}

int KeyerOpenDevice(const char* device) {
    ClearPortFault();
    HANDLE h = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        Win32NoteOpenFailure(GetLastError());
        return kKeyerOpenFailed;
    }
    AppState.keyerHandle = h;
    AppState.portOpen = 1;
    readGaveUp = false;

    ZeroMemory(&keyerDcb, sizeof keyerDcb);
    keyerDcb.DCBlength = sizeof keyerDcb;
    if (!GetCommState(h, &keyerDcb)) {
        SetPortFault(kPortNotSerial, "");
        return kKeyerGetStateFailed;
    }
    Win32SetUpLine(&keyerDcb, kKeyerBaud, kWin32KeyerLine);
    if (!SetCommState(h, &keyerDcb)) return kKeyerSetStateFailed;

    keyerTimeouts.ReadIntervalTimeout = 0;
    keyerTimeouts.ReadTotalTimeoutMultiplier = 0;
    keyerTimeouts.ReadTotalTimeoutConstant = kKeyerPortReadTimeoutMs;
    keyerTimeouts.WriteTotalTimeoutMultiplier = 0;
    keyerTimeouts.WriteTotalTimeoutConstant = 0;
    SetCommTimeouts(h, &keyerTimeouts);

    Sleep(100);
    if (!PurgeComm(h, PURGE_RXCLEAR)) return kKeyerPurgeFailed;
    LineLogNote("open %s %d", device, static_cast<int>(kKeyerBaud));
    return 0;
}

int KeyerWrite(const uint8_t* bytes, uint32_t count) {
    if (readGaveUp && Handle() != nullptr) {
        PurgeComm(Handle(), PURGE_RXCLEAR);
        readGaveUp = false;
    }
    return Transfer(false, const_cast<uint8_t*>(bytes), count, kKeyerWriteWaitMs);
}

int KeyerRead(uint8_t* buffer, uint32_t count) {
    int result = Transfer(true, buffer, count, kKeyerReadWaitMs);
    if (!result) readGaveUp = true;
    return result;
}

int KeyerSetSpeed(uint32_t baud) {
    HANDLE port = Handle();
    if (port == nullptr) return 0;
    keyerDcb.BaudRate = baud;
    int ok = SetCommState(port, &keyerDcb) ? 1 : 0;
    LineLogNote("speed %lu%s", static_cast<unsigned long>(baud), ok ? "" : " failed");
    return ok;
}

void KeyerClose() {
    if (Handle() != nullptr) CloseHandle(Handle());
    AppState.keyerHandle = nullptr;
    AppState.portOpen = 0;
}
