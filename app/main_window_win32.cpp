// The main window's dialog procedure: start-up state, command dispatch, the
// uploader and port dialogs, and leaving the program.
#include <windows.h>

#include "app/device_probes.h"
#include "app/main_window.h"
#include "app/port_setup.h"
#include "core/app_state.h"
#include "app/psoc_dialog.h"
#include "psoc/psoc_probe.h"
#include "res/resource.h"
#include "serial/serial_port.h"
#include "serial/serial_texts.h"
#include "app/t62_dialog.h"
#include "t62/t62_probe.h"
#include "app/zq3_dialog.h"
#include "zq3/keyer_probe.h"

namespace {

void EnableControl(HWND dialog, int id, BOOL on) { EnableWindow(GetDlgItem(dialog, id), on); }

void EnableProbeButtons(HWND dialog, BOOL on) {
    EnableControl(dialog, IDC_OPEN_T62, on);
    EnableControl(dialog, IDC_OPEN_PSOC, on);
    EnableControl(dialog, IDC_OPEN_ZQ3, on);
}

void ShowPortLabel(HWND dialog) {
    SetDlgItemTextA(dialog, IDC_PORT_LABEL,
                    FormatPortLabel(AppState.comPort, AppState.statusText, sizeof AppState.statusText));
}

// Runs one uploader modally; whatever happened there, its Update button goes
// off, the probe lines are cleared and the user may probe again.
void RunUploader(HWND dialog, int templateId, DLGPROC procedure, int updateButton, const char* completed) {
    DialogBoxParamA(static_cast<HINSTANCE>(AppState.instance), MAKEINTRESOURCEA(templateId), dialog, procedure, 0);
    EnableControl(dialog, updateButton, FALSE);
    SetDlgItemTextA(dialog, IDC_RESULT_LINE, completed);
    SetDlgItemTextA(dialog, IDC_PORT_LINE, "");
    SetDlgItemTextA(dialog, IDC_HW_LINE, "");
    EnableProbeButtons(dialog, TRUE);
}

void ChoosePort(HWND dialog) {
    if (AppState.portOpen) SerialClose();
    DialogBoxParamA(static_cast<HINSTANCE>(AppState.instance), MAKEINTRESOURCEA(IDD_PORT_SETUP), dialog,
                    PortSetupDialog, 0);
    ShowPortLabel(dialog);
}

INT_PTR OnCommand(HWND dialog, int id) {
    switch (id) {
        case IDC_OPEN_T62:
            ProbeT62(dialog);
            return TRUE;
        case IDC_OPEN_PSOC:
            ProbePsoc(dialog);
            return TRUE;
        case IDC_OPEN_ZQ3:
            ProbeZq3(dialog);
            return TRUE;
        case IDC_T62_UPDATE:
            RunUploader(dialog, IDD_T62_UPLOADER, T62UploaderDialog, IDC_T62_UPDATE, kT62UpdateCompletedText);
            return TRUE;
        case IDC_PSOC_UPDATE:
            RunUploader(dialog, IDD_PSOC_UPLOADER, PsocUploaderDialog, IDC_PSOC_UPDATE, kPsocUpdateCompletedText);
            return TRUE;
        case IDC_ZQ3_UPDATE:
            RunUploader(dialog, IDD_KEYER_UPLOADER, KeyerUploaderDialog, IDC_ZQ3_UPDATE, kKeyerUpdateCompletedText);
            return TRUE;
        case IDC_SET_COM:
            ChoosePort(dialog);
            return TRUE;
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
            EnableProbeButtons(dialog, TRUE);
            EnableControl(dialog, IDC_T62_UPDATE, FALSE);
            EnableControl(dialog, IDC_PSOC_UPDATE, FALSE);
            EnableControl(dialog, IDC_ZQ3_UPDATE, FALSE);
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
