// The port selection dialog: lists the COM ports that exist and takes the one
// chosen as AppState.comPort.
#include <windows.h>
#include <cstdio>

#include "app/port_setup.h"
#include "core/app_state.h"
#include "res/resource.h"
#include "serial/port_list.h"
#include "serial/serial_port.h"

namespace {

enum { kHighestPort = 36 };

void AddPort(HWND dialog, int32_t port) {
    AppState.portList[AppState.portListCount] = port;
    if (port == AppState.comPort) AppState.portListSelection = AppState.portListCount;
    AppState.portListCount++;
    std::snprintf(AppState.portNameBuffer, sizeof AppState.portNameBuffer, "com%d", static_cast<int>(port));
    SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(AppState.portNameBuffer));
}

// The list is unsorted and filled in ascending order, so list position i is
// portList[i].
void FillPortList(HWND dialog) {
    AppState.portListSelection = -1;
    AppState.portListCount = 0;
    for (int32_t port = 1; port <= kHighestPort; port++) {
        SerialDeviceName(port, AppState.portNameBuffer, sizeof AppState.portNameBuffer);
        if (SerialPortPresent(AppState.portNameBuffer)) AddPort(dialog, port);
    }
    SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_SETCURSEL, static_cast<WPARAM>(AppState.portListSelection), 0);
}

// Only a selected list entry counts; with none selected (an empty list, or
// the current port not listed and nothing chosen) the port stays as it was.
void TakeSelectedPort(HWND dialog) {
    LRESULT position = SendDlgItemMessageA(dialog, IDC_PORT_LIST, CB_GETCURSEL, 0, 0);
    if (position >= 0 && position < AppState.portListCount) AppState.comPort = AppState.portList[position];
}

}  // namespace

INT_PTR CALLBACK PortSetupDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            FillPortList(dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_PORT_OK:
                    TakeSelectedPort(dialog);
                    EndDialog(dialog, 0);
                    return TRUE;
                case IDC_PORT_EXIT:
                    EndDialog(dialog, 0);
                    return TRUE;
            }
            return FALSE;
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
    }
    return FALSE;
}
