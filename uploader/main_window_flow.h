// The main window's part of every target: its start-up state, the probe
// behind each Open button, and the lines once an uploader has gone. The
// front end shows it through a MainWindowView.
#pragma once
#include "uploader/target_table.h"

class MainWindowView {
public:
    virtual ~MainWindowView() = default;
    virtual void SetText(int control, const char* text) = 0;
    // A line that must show at once: the probe then holds the thread for up
    // to its read timeout.
    virtual void ShowNow(int control, const char* text) { SetText(control, text); }
    virtual void Enable(int control, int on) = 0;
    // Just before a probe runs (the page asks for a port there).
    virtual void BeforeProbe() {}
};

// Probes on, Update buttons off.
void MainWindowOpen(MainWindowView* view);

// The probe of row's target: refused while a probe runs (AppState.probeBusy);
// clears the result line, opens the port, shows the probe's lines, and on an
// answer turns the probes off (not for a target that answered through its
// loader only) and the target's Update button on.
void MainWindowProbe(const TargetRow& row, MainWindowView* view);

// row's uploader has gone: its Update button off, its completion text on the
// result line, the probe lines cleared, the probes on again.
void MainWindowUploaderGone(const TargetRow& row, MainWindowView* view);

void MainWindowEnableProbes(MainWindowView* view, int on);

// What the last probe of row's target found its device to fit (the ZQ3's
// variant, the T62's hardware revision; TargetProbeLines::fit), for the
// image an uploader takes from a release; "" when it told none.
const char* MainWindowProbedFit(const TargetRow& row);
