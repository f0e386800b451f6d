// The uploaders in the page, as the Windows program's dialogs have them: the
// image store, Load, Update with its checks, the worker run with its 100 ms
// tick, Restart for the T62, and closing only once no worker can still use
// the port or the image store.
//
// A press's command that waits on the line (Update's re-probe or reopen of
// a lost port, Restart's reopen) suspends, and the page stays live
// meanwhile. The Windows dialog's window is held for that time, so an Exit
// pressed there is carried out once the command has returned, after the
// worker it started: the page holds Exit for that long too.
#include <emscripten.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/app_state.h"
#include "core/platform.h"
#include "image/hex_image.h"
#include "image/keyer_image.h"
#include "psoc/psoc_probe.h"
#include "psoc/psoc_protocol.h"
#include "psoc/psoc_worker.h"
#include "res/resource.h"
#include "serial/port_reopen.h"
#include "t62/t62_image_fit.h"
#include "t62/t62_probe.h"
#include "t62/t62_protocol.h"
#include "t62/t62_worker.h"
#include "web/main_window_return_web.h"
#include "web/page_web.h"
#include "web/uploaders_web.h"
#include "zq3/keyer_update_step.h"
#include "zq3/keyer_upload.h"

namespace {

// What the two HEX uploaders differ in.
struct HexUploader {
    int32_t imageKind;
    int32_t* loaded;
    const char* loadedFormat;
    const char* runningText;
    int updateButton;
    int restartButton;  // 0 when the dialog has none
    void (*worker)();
    const char* (*message)(int32_t code);
    int32_t (*open)(int32_t port);  // the probe's open of the port at the loader's speed
    // Null when the loaded image can be written whole, else why it is
    // refused before anything is sent (null: the target refuses none).
    const char* (*refusal)(int32_t imageLength, char* text, size_t size);
};

const HexUploader kT62Uploader = {
    T62Image, &AppState.t62ImageLoaded, kT62LoadedFormat, kT62RunningText,
    IDC_T62_START, IDC_T62_RESTART, T62UploadWorker, T62StatusMessage, T62ProbeOpen, T62ImageFitRefusal,
};

// The Windows template has no reset button, so the page offers none either.
const HexUploader kPsocUploader = {
    PSoCImage, &AppState.psocImageLoaded, kPsocLoadedFormat, kPsocRunningText,
    IDC_PSOC_START, 0, PsocProgramWorker, PsocOutcomeMessage, PsocProbeOpen, nullptr,
};

// The longest path the Windows program takes, as the page's file system
// names the chosen file.
enum { kPathSize = 260 * 3 };

int openDialog = 0;         // the uploader shown, 0 when none
bool busy = false;          // a worker runs
bool closePending = false;  // Exit came while it ran
bool pressWaiting = false;  // a press's command is suspended on the line
bool exitHeld = false;      // Exit came while it was

const HexUploader* HexOf(int dialog) {
    if (dialog == IDD_T62_UPLOADER) return &kT62Uploader;
    if (dialog == IDD_PSOC_UPLOADER) return &kPsocUploader;
    return nullptr;
}

void Status(int dialog, const char* text) { PageSetText(dialog, IDC_STATUS_LINE, text); }
void Enable(int dialog, int id, int on) {
    if (id != 0) PageEnable(dialog, id, on);
}

void* Allocate(int dialog, size_t size) {
    void* block = std::malloc(size);
    if (block == nullptr) {
        Status(dialog, "Error: Out of memory !");
        Enable(dialog, IDC_LOAD, 0);
    }
    return block;
}

void Release(int dialog) {
    if (dialog == IDD_KEYER_UPLOADER) {
        std::free(AppState.keyerImage);
        AppState.keyerImage = nullptr;
    } else {
        std::free(AppState.hexImage);
        AppState.hexImage = nullptr;
    }
}

void End(int dialog) {
    PageStopTimer(dialog);
    PageCloseDialog(dialog);
    Release(dialog);
    openDialog = 0;
    MainUploaderReturned(dialog);
}

int Start(int dialog, void (*worker)()) {
    busy = true;
    if (!PlatformStartThread(worker)) {
        busy = false;
        Status(dialog, "Error: Cannot start the update !");
        return 0;
    }
    PageStartTimer(dialog);
    return 1;
}

// The tick that saw the worker's status: the timer stops, and the dialog
// goes if Exit came during the run.
void Finished(int dialog) {
    PageStopTimer(dialog);
    busy = false;
    if (!closePending) return;
    closePending = false;
    End(dialog);
}

void Close(int dialog) {
    if (!busy) {
        End(dialog);
        return;
    }
    // The worker still uses the port and the image store: leave when it ends.
    closePending = true;
    Status(dialog, "Please wait: closing when the update ends....");
}

void HexOpen(int dialog, const HexUploader& uploader) {
    *uploader.loaded = 0;
    Enable(dialog, IDC_LOAD, 1);
    Enable(dialog, uploader.updateButton, 0);
    Enable(dialog, uploader.restartButton, 0);
    AppState.uploadResult = 0;
    AppState.hexImage = static_cast<uint8_t*>(Allocate(dialog, kImageBufferSize));
}

void HexLoad(int dialog, const HexUploader& uploader, const char* path) {
    AppState.hexImageLength = LoadHexImage(path, uploader.imageKind);
    if (AppState.hexImageLength <= 0) {
        Status(dialog, "File Error");
        return;
    }
    std::snprintf(AppState.statusText, sizeof AppState.statusText, uploader.loadedFormat,
                  static_cast<int>(AppState.hexImageLength));
    Status(dialog, AppState.statusText);
    *uploader.loaded = 1;
    Enable(dialog, uploader.updateButton, 1);
}

// A port that a run found gone is opened again before anything goes out.
int ReopenIfLost(int dialog, const HexUploader& uploader) {
    if (SerialReopenIfLost(uploader.open, AppState.statusText, sizeof AppState.statusText)) return 1;
    Status(dialog, AppState.statusText);
    return 0;
}

void HexUpdate(int dialog, const HexUploader& uploader) {
    PageSetRange(dialog, AppState.hexImageLength / 256);
    PageSetPosition(dialog, 0);
    if (!*uploader.loaded) {
        Status(dialog, "Error: Please Open a Programming File !");
        return;
    }
    if (AppState.hexImageLength <= 0) {
        Status(dialog, "Error: Zero Length File !");
        return;
    }
    if (uploader.refusal != nullptr) {
        const char* why = uploader.refusal(AppState.hexImageLength, AppState.statusText, sizeof AppState.statusText);
        if (why != nullptr) {
            Status(dialog, why);
            return;
        }
    }
    if (!ReopenIfLost(dialog, uploader)) return;
    Enable(dialog, IDC_LOAD, 0);
    Enable(dialog, uploader.updateButton, 0);
    Enable(dialog, uploader.restartButton, 0);
    AppState.uploadResult = 0;
    Status(dialog, uploader.runningText);
    if (!Start(dialog, uploader.worker)) {
        Enable(dialog, IDC_LOAD, 1);
        Enable(dialog, uploader.updateButton, 1);
    }
}

void HexTick(int dialog, const HexUploader& uploader) {
    // The status first: the worker stores it after its last progress, so a
    // tick that sees the status also sees the final bar and address.
    int32_t result = AppState.uploadResult;
    PageSetPosition(dialog, AppState.progressBytes / 256);
    std::snprintf(AppState.statusText, sizeof AppState.statusText, "%05x",
                  static_cast<unsigned>(AppState.currentAddress));
    PageSetText(dialog, IDC_ADDRESS, AppState.statusText);
    if (result == 0) return;
    Enable(dialog, IDC_LOAD, 1);
    Enable(dialog, uploader.updateButton, 0);
    Enable(dialog, uploader.restartButton, 1);
    AppState.uploadResult = 0;
    Status(dialog, uploader.message(result));
    Finished(dialog);
}

void KeyerOpenDialog(int dialog) {
    AppState.keyerImageLoaded = 0;
    Enable(dialog, IDC_LOAD, 1);
    Enable(dialog, IDC_KEYER_START, 0);
    AppState.uploadResult = 0;
    AppState.keyerImage = static_cast<KeyerRecord*>(Allocate(dialog, kKeyerImageSize));
}

void KeyerLoad(int dialog, const char* path) {
    AppState.keyerRecordCount = LoadKeyerImage(path);
    if (AppState.keyerRecordCount < 1) {
        Status(dialog, "File Error");
        return;
    }
    ReadKeyerImageVersion(AppState.keyerImage, &AppState.keyerImageVersion, &AppState.keyerImageVariant);
    FormatKeyerLoadLine(AppState.statusText, sizeof AppState.statusText, AppState.keyerImageVersion,
                        AppState.keyerImageVariant, AppState.keyerRecordCount);
    Status(dialog, AppState.statusText);
    AppState.keyerImageLoaded = 1;
    Enable(dialog, IDC_KEYER_START, 1);
}

void KeyerUpdate(int dialog) {
    PageSetPosition(dialog, 0);
    KeyerUpdateStep step;
    KeyerPrepareUpdate(&step);
    // This dialog has no line for the probe's texts: a failed probe is told
    // in a message box.
    if (step.outcome == kKeyerUpdateNotConnected) {
        PageMessageBox(step.text, "Error");
        return;
    }
    Status(dialog, step.text);
    if (step.outcome != kKeyerUpdateReady) return;
    Enable(dialog, IDC_LOAD, 0);
    Enable(dialog, IDC_KEYER_START, 0);
    if (!Start(dialog, KeyerUploadWorker)) {
        Enable(dialog, IDC_LOAD, 1);
        Enable(dialog, IDC_KEYER_START, 1);
    }
}

void KeyerTick(int dialog) {
    // The result before the progress, as for the HEX uploaders.
    int32_t result = AppState.uploadResult;
    PageSetPosition(dialog, AppState.keyerProgress);
    if (result == 0) return;
    Enable(dialog, IDC_LOAD, 1);
    Enable(dialog, IDC_KEYER_START, 0);
    Status(dialog, KeyerStatusMessage(result));
    AppState.uploadResult = 0;
    Finished(dialog);
}

}  // namespace

void WebUploaderOpen(int dialog) {
    if (openDialog != 0) return;
    openDialog = dialog;
    busy = false;
    closePending = false;
    exitHeld = false;
    PageSetText(dialog, IDC_STATUS_LINE, "");
    PageSetText(dialog, IDC_FILE_PATH, "");
    PageSetText(dialog, IDC_ADDRESS, "");
    PageSetRange(dialog, 100);  // the progress bar's own range until Update sets one
    PageSetPosition(dialog, 0);
    PageOpenDialog(dialog);
    const HexUploader* hex = HexOf(dialog);
    if (hex != nullptr)
        HexOpen(dialog, *hex);
    else
        KeyerOpenDialog(dialog);
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebUploaderCommand(int dialog, int id) {
    if (dialog != openDialog) return;
    const HexUploader* hex = HexOf(dialog);
    if (id == IDC_UPLOADER_EXIT) {
        if (pressWaiting)
            exitHeld = true;
        else
            Close(dialog);
        return;
    }
    if (busy || pressWaiting) return;
    pressWaiting = true;
    if (hex != nullptr && id == hex->updateButton) HexUpdate(dialog, *hex);
    if (hex != nullptr && id == hex->restartButton && id != 0) {
        Status(dialog, "Resetting T62");
        Enable(dialog, IDC_T62_RESTART, 0);
        if (ReopenIfLost(dialog, *hex)) T62Reset();
    }
    if (hex == nullptr && id == IDC_KEYER_START) KeyerUpdate(dialog);
    pressWaiting = false;
    if (!exitHeld) return;
    exitHeld = false;
    Close(dialog);
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebUploaderLoad(int dialog, const char* path) {
    // Never reload under a running worker or a command that may start one.
    if (dialog != openDialog || busy || pressWaiting) return;
    if (std::strlen(path) >= kPathSize) {
        Status(dialog, "Error: File Path Too Long !");
        return;
    }
    const HexUploader* hex = HexOf(dialog);
    if ((hex != nullptr ? static_cast<void*>(AppState.hexImage) : static_cast<void*>(AppState.keyerImage)) == nullptr)
        return;
    Status(dialog, "Opening File");
    PageSetText(dialog, IDC_FILE_PATH, path);
    if (hex != nullptr)
        HexLoad(dialog, *hex, path);
    else
        KeyerLoad(dialog, path);
}

extern "C" EMSCRIPTEN_KEEPALIVE void WebUploaderTick(int dialog) {
    if (dialog != openDialog || !busy) return;
    const HexUploader* hex = HexOf(dialog);
    if (hex != nullptr)
        HexTick(dialog, *hex);
    else
        KeyerTick(dialog);
}
