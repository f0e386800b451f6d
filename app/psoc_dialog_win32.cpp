#include "app/psoc_dialog.h"

#include "app/uploader_win32.h"
#include "core/app_state.h"
#include "image/hex_image.h"
#include "psoc/psoc_probe.h"
#include "psoc/psoc_protocol.h"
#include "psoc/psoc_worker.h"

namespace {

// The template has no reset button, so the dialog offers none.
const HexUploader kPsocUploader = {
    PSoCImage, &AppState.psocImageLoaded, kPsocLoadedFormat, kPsocRunningText,
    IDC_PSOC_START, 0, PsocProgramWorker, PsocProbeOpen, nullptr,
};

UploaderRun run;

void Tick(HWND dialog) {
    int32_t result = HexUploaderTick(dialog, kPsocUploader);
    if (result == 0) return;
    SetDlgItemTextA(dialog, IDC_STATUS_LINE, PsocOutcomeMessage(result));
    UploaderFinished(dialog, &run);
}

}  // namespace

INT_PTR CALLBACK PsocUploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            HexUploaderOpen(dialog, kPsocUploader, &run);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case IDC_LOAD: HexUploaderLoad(dialog, kPsocUploader, &run); return TRUE;
                case IDC_PSOC_START: HexUploaderUpdate(dialog, kPsocUploader, &run); return TRUE;
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
