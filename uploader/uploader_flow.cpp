#include "uploader/uploader_flow.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <string>

#include "core/app_state.h"
#include "release/release.h"
#include "res/resource.h"
#include "serial/port_fault.h"
#include "serial/port_reopen.h"
#include "uploader/main_window_flow.h"

const int Uploader::kStatusLine = IDC_STATUS_LINE;

void Uploader::Open() {
    busy_ = closePending_ = pressing_ = exitHeld_ = false;
    *row_.loaded = 0;
    Enable(IDC_LOAD, 1);
    Enable(row_.startButton, 0);
    Enable(row_.restartButton, 0);
    AppState.uploadResult = 0;
    view_->Advise(nullptr, nullptr);
    void* store = std::malloc(row_.storeSize);
    if (store == nullptr) {
        Status("Error: Out of memory !");
        Enable(IDC_LOAD, 0);
    }
    row_.attachStore(store);
}

void Uploader::Press(int control) {
    if (control == IDC_UPLOADER_EXIT) {
        if (pressing_)
            exitHeld_ = true;
        else
            Close();
        return;
    }
    if (busy_ || pressing_) return;
    pressing_ = true;
    if (control == IDC_LOAD)
        Load();
    else if (control == row_.startButton)
        Update();
    else if (control == row_.restartButton && control != 0)
        Restart();
    pressing_ = false;
    if (!exitHeld_) return;
    exitHeld_ = false;
    Close();
}

void Uploader::Load() {
    // Escape sends the Load command too: never reload under a running worker.
    if (busy_ || row_.store() == nullptr) return;
    char path[kUploaderPathSize];
    int chosen = view_->ChooseFile(row_.hexFile, path, sizeof path);
    // Said, not dropped as if cancelled: the user did pick that file.
    if (chosen < 0) Status("Error: File Path Too Long !");
    if (chosen <= 0) return;
    LoadChosen(path);
}

void Uploader::LoadPath(const char* path) {
    // Never reload under a running worker or a press that may start one.
    if (busy_ || pressing_) return;
    if (std::strlen(path) >= kUploaderPathSize) {
        Status("Error: File Path Too Long !");
        return;
    }
    if (row_.store() == nullptr) return;
    LoadChosen(path);
}

void Uploader::LoadChosen(const char* path) {
    Status("Opening File");
    view_->SetText(IDC_FILE_PATH, path);
    if (IsReleasePath(path)) {
        LoadRelease(path);
        return;
    }
    view_->ReleaseNote("", 0);  // a file of the user's own: no release's line
    LoadImage(path);
}

bool Uploader::LoadImage(const char* path) {
    if (row_.load(path) <= 0) {
        Status("File Error");
        return false;
    }
    row_.loadedLine(AppState.statusText, sizeof AppState.statusText);
    Status(AppState.statusText);
    *row_.loaded = 1;
    Enable(row_.startButton, 1);
    return true;
}

void Uploader::LoadRelease(const char* path) {
    // What was loaded before is gone: Update must not write it in the
    // release's name.
    *row_.loaded = 0;
    Enable(row_.startButton, 0);
    ::Release release;  // not the method that lets the store go
    std::string error;
    const ReleaseImage* image = nullptr;
    const char* fit = MainWindowProbedFit(row_);
    if (ReadRelease(path, &release, &error)) {
        image = PickReleaseImage(release, row_.key, fit, &error);
        if (image != nullptr && !CheckReleaseImage(release, *image, &error)) image = nullptr;
    }
    if (image == nullptr) {
        Status("File Error");
        view_->ReleaseNote((error + "; nothing was loaded").c_str(), 1);
        return;
    }
    std::string file = ReleaseImagePath(release, *image);
    view_->SetText(IDC_FILE_PATH, file.c_str());
    if (!LoadImage(file.c_str())) {
        view_->ReleaseNote((ReleaseEntryName(*image) + ": the target's loader refused the file").c_str(), 1);
        return;
    }
    view_->ReleaseNote(ReleaseTakenText(release, *image, fit).c_str(), 0);
}

void Uploader::Update() {
    if (row_.barRange != nullptr) view_->SetBarRange(row_.barRange());
    view_->SetBarPosition(0);
    TargetPrepared prepared;
    row_.prepare(row_, &prepared);
    // The dialog has no line for the probe's texts: a failed re-probe is
    // told in a message box.
    if (prepared.outcome == kTargetNotConnected) {
        view_->ShowMessage(prepared.text, "Error");
        return;
    }
    Status(prepared.text);
    if (prepared.outcome != kTargetReady) return;
    Enable(IDC_LOAD, 0);
    Enable(row_.startButton, 0);
    Enable(row_.restartButton, 0);
    AppState.uploadResult = 0;
    // The advice of the run before stands until another run starts.
    view_->Advise(nullptr, nullptr);
    busy_ = true;
    if (!view_->StartWorker(row_.worker)) {
        busy_ = false;
        Status("Error: Cannot start the update !");
        Enable(IDC_LOAD, 1);
        Enable(row_.startButton, 1);
        return;
    }
    view_->StartTick();
}

void Uploader::Restart() {
    Status(row_.restartText);
    Enable(row_.restartButton, 0);
    if (!SerialReopenIfLost(row_.openPort, AppState.statusText, sizeof AppState.statusText)) {
        Status(AppState.statusText);
        return;
    }
    row_.restart();
}

void Uploader::Tick() {
    if (!busy_) return;
    // The status first: the worker stores it after its last progress, so a
    // tick that sees the status also sees the final bar and address.
    int32_t result = AppState.uploadResult;
    view_->SetBarPosition(row_.barPosition());
    if (row_.showsAddress) {
        std::snprintf(AppState.statusText, sizeof AppState.statusText, "%05x",
                      static_cast<unsigned>(AppState.currentAddress));
        view_->SetText(IDC_ADDRESS, AppState.statusText);
    }
    if (result == 0) return;
    Enable(IDC_LOAD, 1);
    Enable(row_.startButton, 0);
    Enable(row_.restartButton, 1);
    AppState.uploadResult = 0;
    Status(row_.message(result));
    if (result != row_.success)
        view_->Advise(LastPortFault().problem == kPortGone ? kTargetPortLostAdvice : nullptr, row_.runAdvice(result));
    view_->StopTick();
    busy_ = false;
    if (!closePending_) return;
    closePending_ = false;
    view_->End();
}

void Uploader::Close() {
    if (!busy_) {
        view_->End();
        return;
    }
    // The worker still uses the port and the image store: leave when it ends.
    closePending_ = true;
    Status("Please wait: closing when the update ends....");
}

void Uploader::Release() {
    std::free(row_.store());
    row_.attachStore(nullptr);
}
