#include "app/zq3_dialog.h"

#include <cstdlib>

#include "app/choose_image_file.h"
#include "app/uploader_win32.h"
#include "core/app_state.h"
#include "image/keyer_image.h"
#include "zq3/keyer_update_step.h"
#include "zq3/keyer_upload.h"

namespace {

UploaderRun run;

void Enable(HWND dialog, int id, BOOL on) { EnableWindow(GetDlgItem(dialog, id), on); }

void Open(HWND dialog) {
    run = UploaderRun();
    AppState.keyerImageLoaded = 0;
    Enable(dialog, IDC_LOAD, TRUE);
    Enable(dialog, IDC_KEYER_START, FALSE);
    AppState.uploadResult = 0;
    AppState.keyerImage = static_cast<KeyerRecord*>(UploaderAllocate(dialog, kKeyerImageSize));
}

void Load(HWND dialog) {
    if (run.busy || AppState.keyerImage == nullptr) return;
    char path[kImagePathSize];
    if (!UploaderChooseFile(dialog, path, sizeof path, kImageKindBin)) return;
    AppState.keyerRecordCount = LoadKeyerImage(path);
    if (AppState.keyerRecordCount < 1) {
        SetDlgItemTextA(dialog, IDC_STATUS_LINE, "File Error");
        return;
    }
    ReadKeyerImageVersion(AppState.keyerImage, &AppState.keyerImageVersion, &AppState.keyerImageVariant);
    FormatKeyerLoadLine(AppState.statusText, sizeof AppState.statusText, AppState.keyerImageVersion,
                        AppState.keyerImageVariant, AppState.keyerRecordCount);
    SetDlgItemTextA(dialog, IDC_STATUS_LINE, AppState.statusText);
    AppState.keyerImageLoaded = 1;
    Enable(dialog, IDC_KEYER_START, TRUE);
}

void Update(HWND dialog) {
    if (run.busy) return;
    UploaderSetPosition(dialog, 0);
    KeyerUpdateStep step;
    KeyerPrepareUpdate(&step);
    // This dialog has no line for the probe's texts: a failed probe is told
    // in a message box.
    if (step.outcome == kKeyerUpdateNotConnected) {
        MessageBoxA(nullptr, step.text, "Error", MB_ICONWARNING | MB_OK);
        return;
    }
    SetDlgItemTextA(dialog, IDC_STATUS_LINE, step.text);
    if (step.outcome != kKeyerUpdateReady) return;
    Enable(dialog, IDC_LOAD, FALSE);
    Enable(dialog, IDC_KEYER_START, FALSE);
    if (!UploaderStart(dialog, &run, KeyerUploadWorker)) {
        Enable(dialog, IDC_LOAD, TRUE);
        Enable(dialog, IDC_KEYER_START, TRUE);
    }
}

void Tick(HWND dialog) {
    // The result before the progress: the worker moves the progress before
    // it stores its result, so the tick that shows a result also shows the
    // run's last position, which the bar then keeps.
    int32_t result = AppState.uploadResult;
    UploaderSetPosition(dialog, AppState.keyerProgress);
    if (result == 0) return;
    Enable(dialog, IDC_LOAD, TRUE);
    Enable(dialog, IDC_KEYER_START, FALSE);
    SetDlgItemTextA(dialog, IDC_STATUS_LINE, KeyerStatusMessage(result));
    AppState.uploadResult = 0;
    UploaderFinished(dialog, &run);
}

}  // namespace

INT_PTR CALLBACK KeyerUploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            Open(dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_LOAD: Load(dialog); return TRUE;
                case IDC_KEYER_START: Update(dialog); return TRUE;
                case IDC_UPLOADER_EXIT: UploaderClose(dialog, &run); return TRUE;
            }
            return FALSE;
        case WM_TIMER:
            Tick(dialog);
            return FALSE;
        case WM_CLOSE:
            UploaderClose(dialog, &run);
            return TRUE;
        case WM_DESTROY:
            // Reached only when no worker runs: closing waits for it.
            std::free(AppState.keyerImage);
            AppState.keyerImage = nullptr;
            return FALSE;
    }
    return FALSE;
}
