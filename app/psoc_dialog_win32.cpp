#include "psoc/psoc_dialog.h"

#include "app/uploader_win32.h"
#include "core/app_state.h"
#include "image/hex_image.h"
#include "psoc/psoc_protocol.h"
#include "psoc/psoc_worker.h"

namespace {

enum { kUpdate = 4028 };

// The template has no reset button, so the dialog offers none.
const HexUploader kPsocUploader = {
    PSoCImage, &AppState.psocImageLoaded, "PSoC Image Loaded, %d Bytes", "Programming PSoC....",
    kUpdate, 0, PsocProgramWorker,
};

UploaderRun run;

void Tick(HWND dialog) {
    int32_t result = HexUploaderTick(dialog, kPsocUploader);
    if (result == 0) return;
    SetDlgItemTextA(dialog, kUploaderStatusLine, PsocOutcomeMessage(result));
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
                case kUploaderLoad: HexUploaderLoad(dialog, kPsocUploader, &run); return TRUE;
                case kUpdate: HexUploaderUpdate(dialog, kPsocUploader, &run); return TRUE;
                case kUploaderExit: UploaderClose(dialog, &run); return TRUE;
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
