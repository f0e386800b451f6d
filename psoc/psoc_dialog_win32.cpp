#include "psoc/psoc_dialog.h"

#include <cstdio>
#include <cstdlib>

#include "app/uploader_win32.h"
#include "core/app_state.h"
#include "image/hex_image.h"
#include "psoc/psoc_protocol.h"
#include "psoc/psoc_worker.h"

namespace {

enum { kUpdate = 4028 };

UploaderRun run;

void Enable(HWND dialog, int id, BOOL on) { EnableWindow(GetDlgItem(dialog, id), on); }

void Open(HWND dialog) {
    run = UploaderRun();
    AppState.psocImageLoaded = 0;
    Enable(dialog, kUploaderLoad, TRUE);
    Enable(dialog, kUpdate, FALSE);
    AppState.uploadResult = 0;
    AppState.hexImage = static_cast<uint8_t*>(UploaderAllocate(dialog, kImageBufferSize));
}

void Load(HWND dialog) {
    if (run.busy || AppState.hexImage == nullptr) return;
    char path[128];
    if (!UploaderChooseFile(dialog, path, sizeof path, 1)) return;
    AppState.hexImageLength = LoadHexImage(path, PSoCImage);
    if (AppState.hexImageLength <= 0) {
        SetDlgItemTextA(dialog, kUploaderStatusLine, "File Error");
        return;
    }
    std::snprintf(AppState.statusText, sizeof AppState.statusText, "PSoC Image Loaded, %d Bytes",
                  static_cast<int>(AppState.hexImageLength));
    SetDlgItemTextA(dialog, kUploaderStatusLine, AppState.statusText);
    AppState.psocImageLoaded = 1;
    Enable(dialog, kUpdate, TRUE);
}

void Update(HWND dialog) {
    if (run.busy) return;
    UploaderSetRange(dialog, AppState.hexImageLength / 256);
    UploaderSetPosition(dialog, 0);
    if (!AppState.psocImageLoaded) {
        SetDlgItemTextA(dialog, kUploaderStatusLine, "Error: Please Open a Programming File !");
        return;
    }
    if (AppState.hexImageLength <= 0) {
        SetDlgItemTextA(dialog, kUploaderStatusLine, "Error: Zero Length File !");
        return;
    }
    Enable(dialog, kUploaderLoad, FALSE);
    Enable(dialog, kUpdate, FALSE);
    AppState.uploadResult = 0;
    SetDlgItemTextA(dialog, kUploaderStatusLine, "Programming PSoC....");
    if (!UploaderStart(dialog, &run, PsocProgramWorker)) {
        Enable(dialog, kUploaderLoad, TRUE);
        Enable(dialog, kUpdate, TRUE);
    }
}

void Tick(HWND dialog) {
    UploaderSetPosition(dialog, AppState.progressBytes / 256);
    UploaderShowAddress(dialog, AppState.currentAddress);
    int32_t result = AppState.uploadResult;
    if (result == 0) return;
    Enable(dialog, kUploaderLoad, TRUE);
    Enable(dialog, kUpdate, FALSE);
    SetDlgItemTextA(dialog, kUploaderStatusLine, PsocOutcomeMessage(result));
    AppState.uploadResult = 0;
    UploaderFinished(dialog, &run);
}

}  // namespace

INT_PTR CALLBACK PsocUploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            Open(dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kUploaderLoad: Load(dialog); return TRUE;
                case kUpdate: Update(dialog); return TRUE;
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
            // Reached only when no worker runs: closing waits for it.
            std::free(AppState.hexImage);
            AppState.hexImage = nullptr;
            return FALSE;
    }
    return FALSE;
}
