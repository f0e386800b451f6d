#include "app/t62_dialog.h"

#include "app/uploader_win32.h"
#include "core/app_state.h"
#include "image/hex_image.h"
#include "t62/t62_image_fit.h"
#include "t62/t62_probe.h"
#include "t62/t62_protocol.h"
#include "t62/t62_worker.h"

namespace {

const HexUploader kT62Uploader = {
    T62Image, &AppState.t62ImageLoaded, kT62LoadedFormat, kT62RunningText,
    IDC_T62_START, IDC_T62_RESTART, T62UploadWorker, T62ProbeOpen, T62ImageFitRefusal,
};

UploaderRun run;

void Tick(HWND dialog) {
    int32_t result = HexUploaderTick(dialog, kT62Uploader);
    if (result == 0) return;
    SetDlgItemTextA(dialog, IDC_STATUS_LINE, T62StatusMessage(result));
    UploaderFinished(dialog, &run);
}

void Restart(HWND dialog) {
    if (run.busy) return;
    SetDlgItemTextA(dialog, IDC_STATUS_LINE, "Resetting T62");
    EnableWindow(GetDlgItem(dialog, IDC_T62_RESTART), FALSE);
    if (!HexUploaderReopenIfLost(dialog, kT62Uploader)) return;
    T62Reset();
}

}  // namespace

INT_PTR CALLBACK T62UploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            HexUploaderOpen(dialog, kT62Uploader, &run);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_LOAD: HexUploaderLoad(dialog, kT62Uploader, &run); return TRUE;
                case IDC_T62_START: HexUploaderUpdate(dialog, kT62Uploader, &run); return TRUE;
                case IDC_T62_RESTART: Restart(dialog); return TRUE;
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
            HexUploaderRelease();
            return FALSE;
    }
    return FALSE;
}
