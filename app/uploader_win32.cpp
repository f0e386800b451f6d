#include "app/uploader_win32.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "app/choose_image_file.h"
#include "core/app_state.h"
#include "core/platform.h"

void* UploaderAllocate(HWND dialog, size_t size) {
    void* block = std::malloc(size);
    if (block == nullptr) {
        SetDlgItemTextA(dialog, kUploaderStatusLine, "Error: Out of memory !");
        EnableWindow(GetDlgItem(dialog, kUploaderLoad), FALSE);
    }
    return block;
}

int UploaderStart(HWND dialog, UploaderRun* run, void (*worker)()) {
    run->busy = true;
    if (!PlatformStartThread(worker)) {
        run->busy = false;
        SetDlgItemTextA(dialog, kUploaderStatusLine, "Error: Cannot start the update !");
        return 0;
    }
    SetTimer(dialog, kUploaderTimer, 100, nullptr);
    return 1;
}

void UploaderClose(HWND dialog, UploaderRun* run) {
    if (!run->busy) {
        EndDialog(dialog, 0);
        return;
    }
    // The worker still uses the port and the image store: leave when it ends.
    run->closePending = true;
    SetDlgItemTextA(dialog, kUploaderStatusLine, "Please wait: closing when the update ends....");
}

int UploaderFinished(HWND dialog, UploaderRun* run) {
    KillTimer(dialog, kUploaderTimer);
    run->busy = false;
    if (!run->closePending) return 0;
    run->closePending = false;
    EndDialog(dialog, 0);
    return 1;
}

void UploaderSetRange(HWND dialog, int32_t upper) {
    SendDlgItemMessageA(dialog, kUploaderProgressBar, PBM_SETRANGE, 0,
                        MAKELPARAM(0, static_cast<WORD>(upper)));
}

void UploaderSetPosition(HWND dialog, int32_t position) {
    SendDlgItemMessageA(dialog, kUploaderProgressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void UploaderShowAddress(HWND dialog, int32_t address) {
    std::snprintf(AppState.statusText, sizeof AppState.statusText, "%05x", static_cast<unsigned>(address));
    SetDlgItemTextA(dialog, kUploaderAddress, AppState.statusText);
}

int UploaderChooseFile(HWND dialog, char* path, int size, int kind) {
    if (!ChooseImageFile(path, size, kind)) return 0;
    SetDlgItemTextA(dialog, kUploaderStatusLine, "Opening File");
    SetDlgItemTextA(dialog, kUploaderPath, path);
    return 1;
}
