// An uploader dialog's flow, for any target's row: its image store, Load,
// Update with its checks, the worker run followed by a 100 ms tick, Restart,
// and leaving only once no worker can still use the port or the image store.
// The front end shows it through an UploaderView and hands it the presses.
#pragma once
#include <cstdint>

#include "uploader/target_table.h"

// The longest path the Windows program takes: MAX_PATH, 260 UTF-16 units
// with the terminator, in UTF-8 at up to 3 bytes a unit.
enum { kUploaderPathSize = 260 * 3 };

class UploaderView {
public:
    virtual ~UploaderView() = default;
    virtual void SetText(int control, const char* text) = 0;
    virtual void Enable(int control, int on) = 0;
    virtual void SetBarRange(int32_t upper) = 0;
    virtual void SetBarPosition(int32_t position) = 0;
    virtual int StartWorker(void (*worker)()) = 0;  // 1 when its thread runs
    virtual void StartTick() = 0;
    virtual void StopTick() = 0;
    virtual void ShowMessage(const char* text, const char* title) = 0;  // a message box
    virtual void End() = 0;  // the dialog goes
    // Load's file chooser: 1 with the chosen path in path, 0 when the user
    // cancelled, -1 when the path chosen does not fit in size bytes.
    virtual int ChooseFile(int hexFile, char* path, int size) = 0;
    // What to do next after a run that failed, on a line of its own (the
    // page's; the Windows dialog has none and shows nothing more): portLost
    // when the port stopped working in the middle of the run, else null;
    // then next. Both null: the line goes (a run starts, the dialog opens).
    virtual void Advise(const char* /*portLost*/, const char* /*next*/) {}
    // A release's image was taken (refused 0: text says which, checked), or
    // the release was refused (1: text says why, nothing loaded). By default
    // a refusal is told in a message box; the page has a line for both.
    virtual void ReleaseNote(const char* text, int refused) {
        if (refused) ShowMessage(text, "Error");
    }
};

class Uploader {
public:
    Uploader(const TargetRow& row, UploaderView* view) : row_(row), view_(view) {}

    const TargetRow& Row() const { return row_; }
    bool Busy() const { return busy_; }

    // The dialog has opened: nothing loaded, Load alone on, a fresh store.
    void Open();
    // A button: Load (through the view's chooser), Update, Restart, Exit.
    // A press that comes while another is still at work (the page's presses
    // can, while one waits on the line) is dropped, but Exit is carried out
    // once it has returned: the Windows dialog's window queues it that long.
    void Press(int control);
    // A file chosen outside Load's press (the page's chooser answers later,
    // and the page offers the release beside it as the uploader opens).
    // Either may be a release (release.json or its folder): then the image
    // is the release's for this target and the device the main window's
    // probe found, its size and SHA-256 checked before it is loaded.
    void LoadPath(const char* path);
    // The 100 ms tick while a worker runs.
    void Tick();
    // Exit and the close box: the dialog goes now, or once the worker is done.
    void Close();
    // The dialog has gone (only ever once no worker runs): the store goes.
    void Release();

private:
    void Load();
    void LoadChosen(const char* path);
    void LoadRelease(const char* path);
    bool LoadImage(const char* path);
    void Update();
    void Restart();
    void Status(const char* text) { view_->SetText(kStatusLine, text); }
    void Enable(int control, int on) {
        if (control != 0) view_->Enable(control, on);
    }
    static const int kStatusLine;

    const TargetRow& row_;
    UploaderView* view_;
    bool busy_ = false;          // a worker runs
    bool closePending_ = false;  // Exit or the close box came while it ran
    bool pressing_ = false;      // a press is at work
    bool exitHeld_ = false;      // Exit came while it was
};
