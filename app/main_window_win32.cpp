// The main window's dialog procedure: start-up state, command dispatch, the
// uploader and port dialogs, and leaving the program.
#include <windows.h>

#include "app/main_window.h"
#include "app/port_setup.h"
#include "app/uploader_win32.h"
#include "core/app_state.h"
#include "res/resource.h"
#include "serial/serial_port.h"
#include "serial/serial_texts.h"
#include "uploader/main_window_flow.h"

namespace {

void ShowPortLabel(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_PORT_LABEL,
                    FormatPortLabel(AppState.comPort, AppState.statusText, sizeof AppState.statusText));
}

class WindowView : public MainWindowView {
public:
    explicit WindowView(HWND window) : window_(window) {}
    void SetText(int control, const char* text) override { SetDlgItemTextA(window_, control, text); }
    // The probe holds the thread for up to its read timeout: paint the line
    // now, or it would only appear when the probe is over.
    void ShowNow(int control, const char* text) override {
        SetDlgItemTextA(window_, control, text);
        UpdateWindow(GetDlgItem(window_, control));
    }
    void Enable(int control, int on) override { EnableWindow(GetDlgItem(window_, control), on ? TRUE : FALSE); }
    // The port dialog; the label is written again, the port changed or not.
    int ChoosePort() override {
        const int32_t before = AppState.comPort;
        DialogBoxParamA(static_cast<HINSTANCE>(AppState.instance), MAKEINTRESOURCEA(IDD_PORT_SETUP), window_,
                        PortSetupDialog, 0);
        ShowPortLabel(window_);
        return AppState.comPort != before;
    }

private:
    HWND window_;
};

// Runs row's uploader modally; whatever happened there, its Update button
// goes off, the probe lines are cleared and the user may probe again.
void RunUploader(HWND dialog, const TargetRow& row) {
    DialogBoxParamA(static_cast<HINSTANCE>(AppState.instance), MAKEINTRESOURCEA(row.dialog), dialog, UploaderDialog,
                    reinterpret_cast<LPARAM>(&row));
    WindowView view(dialog);
    MainWindowUploaderGone(row, &view);
}

INT_PTR OnCommand(HWND dialog, int id) {
    const TargetRow* row = TargetOfButton(id);
    if (row != nullptr) {
        WindowView view(dialog);
        if (id == row->openButton)
            MainWindowProbe(*row, &view);
        else
            RunUploader(dialog, *row);
        return TRUE;
    }
    switch (id) {
        case IDC_SET_COM: {
            WindowView view(dialog);
            MainWindowSetCom(&view);
            return TRUE;
        }
        case IDC_EXIT:
            SerialClose();
            PostQuitMessage(0);
            return TRUE;
    }
    // Cancel (4101), and Enter and Escape (commands 1 and 2), do nothing.
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK MainWindowDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            AppState.comPort = 4;
            ShowPortLabel(dialog);
            {
                WindowView view(dialog);
                MainWindowOpen(&view);
            }
            return TRUE;
        case WM_COMMAND:
            return OnCommand(dialog, LOWORD(wParam));
        case WM_CLOSE:
            EndDialog(dialog, 0);
            return TRUE;
        case WM_SIZE:
            return TRUE;
    }
    return FALSE;
}
