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
    // Set Com's port dialog (the page: the browser's port chooser), then the
    // port label as it now stands. 1 when the window now names another port
    // than before; 0 when the port stayed (the dialog left with Exit too).
    virtual int ChoosePort() = 0;
    // What to do next after a probe that found no target, on a line of its
    // own (the page's; the Windows window has none and shows nothing more):
    // portLost when the port stopped working during the probe, else null;
    // then next. Both null: the line goes (a probe starts, the port changes).
    virtual void Advise(const char* /*portLost*/, const char* /*next*/) {}
    // Just after a probe that found row's target, on the port it still
    // holds (the page times the probe's replies there; the Windows window
    // sends nothing more).
    virtual void AfterProbe(const TargetRow& /*row*/) {}
};

// Probes on, Update buttons off, no advice.
void MainWindowOpen(MainWindowView* view);

// The probe of row's target: refused while a probe runs (AppState.probeBusy);
// clears the result line and the advice, opens the port, shows the probe's
// lines and, when no target answered, what to do next; on an answer turns
// the probes off (not for a target that answered through its loader only)
// and the target's Update button on.
void MainWindowProbe(const TargetRow& row, MainWindowView* view);

// row's uploader has gone: its Update button off, its completion text on the
// result line, the probe lines cleared, the probes on again.
void MainWindowUploaderGone(const TargetRow& row, MainWindowView* view);

// Set Com. The synchronous channel lets go of the port before the dialog,
// as it always has. When the window then names another port, whatever a
// probe found belongs to the old one: both channels let go of it, the
// Update buttons go off and the probes on, so that an update reaches only
// a device that a probe found on the port now shown. A dialog that left the
// port as it was changes nothing more.
void MainWindowSetCom(MainWindowView* view);

void MainWindowEnableProbes(MainWindowView* view, int on);

// What the last probe of row's target found its device to fit (the ZQ3's
// variant, the T62's hardware revision; TargetProbeLines::fit), for the
// image an uploader takes from a release; "" when it told none.
const char* MainWindowProbedFit(const TargetRow& row);
