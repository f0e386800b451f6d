#include "t62/t62_dialog.h"

#include <cstdio>
#include <cstdlib>

#include "app/uploader_win32.h"
#include "core/app_state.h"
#include "image/hex_image.h"
#include "t62/t62_protocol.h"
#include "t62/t62_worker.h"

namespace {

enum { kUpdate = 4055, kRestart = 4076 };

UploaderRun run;

void Enable(HWND dialog, int id, BOOL on) { EnableWindow(GetDlgItem(dialog, id), on); }

void Open(HWND dialog) {
    run = UploaderRun();
    AppState.t62ImageLoaded = 0;
    Enable(dialog, kUploaderLoad, TRUE);
    Enable(dialog, kUpdate, FALSE);
    Enable(dialog, kRestart, FALSE);
    AppState.uploadResult = 0;
    AppState.hexImage = static_cast<uint8_t*>(UploaderAllocate(dialog, kImageBufferSize));
}

void Load(HWND dialog) {
    if (run.busy || AppState.hexImage == nullptr) return;
    char path[128];
    if (!UploaderChooseFile(dialog, path, sizeof path, 1)) return;
    AppState.hexImageLength = LoadHexImage(path, T62Image);
    if (AppState.hexImageLength < 1) {
        SetDlgItemTextA(dialog, kUploaderStatusLine, "File Error");
        return;
    }
    std::snprintf(AppState.statusText, sizeof AppState.statusText, "T62 Image Loaded, %d Bytes",
                  static_cast<int>(AppState.hexImageLength));
    SetDlgItemTextA(dialog, kUploaderStatusLine, AppState.statusText);
    AppState.t62ImageLoaded = 1;
    Enable(dialog, kUpdate, TRUE);
}

void Update(HWND dialog) {
    if (run.busy) return;
    UploaderSetRange(dialog, AppState.hexImageLength / 256);
    UploaderSetPosition(dialog, 0);
    if (!AppState.t62ImageLoaded) {
        SetDlgItemTextA(dialog, kUploaderStatusLine, "Error: Please Open a Programming File !");
        return;
    }
    if (AppState.hexImageLength <= 0) {
        SetDlgItemTextA(dialog, kUploaderStatusLine, "Error: Zero Length File !");
        return;
    }
    Enable(dialog, kUploaderLoad, FALSE);
    Enable(dialog, kUpdate, FALSE);
    Enable(dialog, kRestart, FALSE);
    AppState.uploadResult = 0;
    SetDlgItemTextA(dialog, kUploaderStatusLine, "Programming T62 PIC....");
    if (!UploaderStart(dialog, &run, T62UploadWorker)) {
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
    SetDlgItemTextA(dialog, kUploaderStatusLine, T62StatusMessage(result));
    AppState.uploadResult = 0;
    Enable(dialog, kRestart, TRUE);
    UploaderFinished(dialog, &run);
}

void Restart(HWND dialog) {
    if (run.busy) return;
    SetDlgItemTextA(dialog, kUploaderStatusLine, "Resetting T62");
    Enable(dialog, kRestart, FALSE);
    T62Reset();
}

}  // namespace

INT_PTR CALLBACK T62UploaderDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            Open(dialog);
            return TRUE;
        case WM_COMMAND:
            switch (LOWORD(wParam)) {
                case kUploaderLoad: Load(dialog); return TRUE;
                case kUpdate: Update(dialog); return TRUE;
                case kRestart: Restart(dialog); return TRUE;
                case kUploaderExit: UploaderClose(dialog, &run); return TRUE;
            }
            return FALSE;
        case WM_TIMER:
            Tick(dialog);
            return TRUE;
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
