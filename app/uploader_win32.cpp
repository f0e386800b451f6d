#include "app/uploader_win32.h"

#include <commctrl.h>

#include <cstdio>
#include <cstdlib>

#include "app/choose_image_file.h"
#include "core/app_state.h"
#include "core/platform.h"
#include "image/hex_image.h"
#include "serial/port_reopen.h"

void* UploaderAllocate(HWND dialog, size_t size) {
    void* block = std::malloc(size);
    if (block == nullptr) {
        SetDlgItemTextA(dialog, IDC_STATUS_LINE, "Error: Out of memory !");
        EnableWindow(GetDlgItem(dialog, IDC_LOAD), FALSE);
    }
    return block;
}

int UploaderStart(HWND dialog, UploaderRun* run, void (*worker)()) {
    run->busy = true;
    if (!PlatformStartThread(worker)) {
        run->busy = false;
        SetDlgItemTextA(dialog, IDC_STATUS_LINE, "Error: Cannot start the update !");
        return 0;
    }
    SetTimer(dialog, kUploaderTimer, kWorkerTickMs, nullptr);
    return 1;
}

void UploaderClose(HWND dialog, UploaderRun* run) {
    if (!run->busy) {
        EndDialog(dialog, 0);
        return;
    }
    // The worker still uses the port and the image store: leave when it ends.
    run->closePending = true;
    SetDlgItemTextA(dialog, IDC_STATUS_LINE, "Please wait: closing when the update ends....");
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
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETRANGE, 0,
                        MAKELPARAM(0, static_cast<WORD>(upper)));
}

void UploaderSetPosition(HWND dialog, int32_t position) {
    SendDlgItemMessageA(dialog, IDC_PROGRESS, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

void UploaderShowAddress(HWND dialog, int32_t address) {
    std::snprintf(AppState.statusText, sizeof AppState.statusText, "%05x", static_cast<unsigned>(address));
    SetDlgItemTextA(dialog, IDC_ADDRESS, AppState.statusText);
}

int UploaderChooseFile(HWND dialog, char* path, int size, int kind) {
    if (!ChooseImageFile(path, size, kind)) {
        // Said, not dropped as if cancelled: the user did pick that file.
        if (ChosenImagePathTooLong()) SetDlgItemTextA(dialog, IDC_STATUS_LINE, "Error: File Path Too Long !");
        return 0;
    }
    SetDlgItemTextA(dialog, IDC_STATUS_LINE, "Opening File");
    SetDlgItemTextA(dialog, IDC_FILE_PATH, path);
    return 1;
}

namespace {
void Enable(HWND dialog, int id, BOOL on) {
    if (id != 0) EnableWindow(GetDlgItem(dialog, id), on);
}
}  // namespace

void HexUploaderOpen(HWND dialog, const HexUploader& uploader, UploaderRun* run) {
    *run = UploaderRun();
    *uploader.loaded = 0;
    Enable(dialog, IDC_LOAD, TRUE);
    Enable(dialog, uploader.updateButton, FALSE);
    Enable(dialog, uploader.restartButton, FALSE);
    AppState.uploadResult = 0;
    AppState.hexImage = static_cast<uint8_t*>(UploaderAllocate(dialog, kImageBufferSize));
}

void HexUploaderLoad(HWND dialog, const HexUploader& uploader, UploaderRun* run) {
    // Escape sends the Load command too: never reload under a running worker.
    if (run->busy || AppState.hexImage == nullptr) return;
    char path[kImagePathSize];
    if (!UploaderChooseFile(dialog, path, sizeof path, kImageKindHex)) return;
    AppState.hexImageLength = LoadHexImage(path, uploader.imageKind);
    if (AppState.hexImageLength <= 0) {
        SetDlgItemTextA(dialog, IDC_STATUS_LINE, "File Error");
        return;
    }
    std::snprintf(AppState.statusText, sizeof AppState.statusText, uploader.loadedFormat,
                  static_cast<int>(AppState.hexImageLength));
    SetDlgItemTextA(dialog, IDC_STATUS_LINE, AppState.statusText);
    *uploader.loaded = 1;
    Enable(dialog, uploader.updateButton, TRUE);
}

int HexUploaderReopenIfLost(HWND dialog, const HexUploader& uploader) {
    if (SerialReopenIfLost(uploader.open, AppState.statusText, sizeof AppState.statusText)) return 1;
    SetDlgItemTextA(dialog, IDC_STATUS_LINE, AppState.statusText);
    return 0;
}

void HexUploaderUpdate(HWND dialog, const HexUploader& uploader, UploaderRun* run) {
    if (run->busy) return;
    UploaderSetRange(dialog, AppState.hexImageLength / 256);
    UploaderSetPosition(dialog, 0);
    if (!*uploader.loaded) {
        SetDlgItemTextA(dialog, IDC_STATUS_LINE, "Error: Please Open a Programming File !");
        return;
    }
    if (AppState.hexImageLength <= 0) {
        SetDlgItemTextA(dialog, IDC_STATUS_LINE, "Error: Zero Length File !");
        return;
    }
    if (uploader.refusal != nullptr) {
        const char* why = uploader.refusal(AppState.hexImageLength, AppState.statusText, sizeof AppState.statusText);
        if (why != nullptr) {
            SetDlgItemTextA(dialog, IDC_STATUS_LINE, why);
            return;
        }
    }
    if (!HexUploaderReopenIfLost(dialog, uploader)) return;
    Enable(dialog, IDC_LOAD, FALSE);
    Enable(dialog, uploader.updateButton, FALSE);
    Enable(dialog, uploader.restartButton, FALSE);
    AppState.uploadResult = 0;
    SetDlgItemTextA(dialog, IDC_STATUS_LINE, uploader.runningText);
    if (!UploaderStart(dialog, run, uploader.worker)) {
        Enable(dialog, IDC_LOAD, TRUE);
        Enable(dialog, uploader.updateButton, TRUE);
    }
}

int32_t HexUploaderTick(HWND dialog, const HexUploader& uploader) {
    // The status first: the worker stores it after its last progress, so a
    // tick that sees the status also sees the final bar and address.
    int32_t result = AppState.uploadResult;
    UploaderSetPosition(dialog, AppState.progressBytes / 256);
    UploaderShowAddress(dialog, AppState.currentAddress);
    if (result == 0) return 0;
    Enable(dialog, IDC_LOAD, TRUE);
    Enable(dialog, uploader.updateButton, FALSE);
    Enable(dialog, uploader.restartButton, TRUE);
    AppState.uploadResult = 0;
    return result;
}

void HexUploaderRelease() {
    std::free(AppState.hexImage);
    AppState.hexImage = nullptr;
}
