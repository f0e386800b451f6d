#include "uploader/main_window_flow.h"

#include <cstdio>

#include "core/app_state.h"
#include "res/resource.h"
#include "serial/port_fault.h"
#include "serial/serial_port.h"

namespace {

// TargetProbeLines::fit of each target's last probe.
char probedFit[kTargetCount][sizeof TargetProbeLines::fit];

// Opens the port for row's probe; on failure the port line says why.
bool OpenPort(const TargetRow& row, MainWindowView* view) {
    // The synchronous channel and the keyer channel cannot hold the port at
    // the same time, and every probe starts on a fresh channel: let go of
    // whichever holds it.
    TargetsClosePort();
    // A probe without an open of its own opens its channel itself.
    if (row.openPort == nullptr) return true;
    int32_t opened = row.openPort(AppState.comPort);
    if (opened == 0) return true;
    view->SetText(IDC_PORT_LINE, row.openFailure(opened, AppState.statusText, sizeof AppState.statusText));
    // The port line keeps the dialog's own text; the advice says why.
    if (LastPortFault().problem == kPortBusy) view->Advise(nullptr, kTargetPortBusyAdvice);
    return false;
}

void RunProbe(const TargetRow& row, MainWindowView* view) {
    probedFit[row.id][0] = '\0';
    if (!OpenPort(row, view)) return;
    if (row.clearsHwLine) view->SetText(IDC_HW_LINE, "");
    view->ShowNow(IDC_PORT_LINE, row.waitingText);
    TargetProbeLines lines;
    row.identify(&lines);
    // Before the lines show, so that the window is as a probe leaves it
    // once they do.
    if (lines.connected) view->AfterProbe(row);
    std::snprintf(probedFit[row.id], sizeof probedFit[row.id], "%s", lines.connected ? lines.fit : "");
    view->SetText(IDC_PORT_LINE, lines.portLine);
    if (lines.hwLine[0] != '\0') view->SetText(IDC_HW_LINE, lines.hwLine);
    if (lines.resultLine != nullptr) view->SetText(IDC_RESULT_LINE, lines.resultLine);
    if (!lines.connected) {
        // A port that went away: plugging it in again comes first.
        if (LastPortFault().problem == kPortGone)
            view->Advise(kTargetPortLostAdvice, nullptr);
        else
            view->Advise(nullptr, row.probeAdvice);
        return;
    }
    // A target reachable through its loader only (the ZQ3 without its O/S):
    // offer the update (recovery) and leave the other probes on.
    if (!lines.loaderOnly) MainWindowEnableProbes(view, 0);
    view->Enable(row.updateButton, 1);
}

}  // namespace

void MainWindowEnableProbes(MainWindowView* view, int on) {
    for (int id = 0; id < kTargetCount; ++id) view->Enable(TargetOf(static_cast<TargetId>(id)).openButton, on);
}

const char* MainWindowProbedFit(const TargetRow& row) { return probedFit[row.id]; }

void MainWindowOpen(MainWindowView* view) {
    view->Advise(nullptr, nullptr);
    MainWindowEnableProbes(view, 1);
    for (int id = 0; id < kTargetCount; ++id) view->Enable(TargetOf(static_cast<TargetId>(id)).updateButton, 0);
}

void MainWindowProbe(const TargetRow& row, MainWindowView* view) {
    if (AppState.probeBusy) return;
    AppState.probeBusy = 1;
    view->SetText(IDC_RESULT_LINE, "");
    view->Advise(nullptr, nullptr);
    view->BeforeProbe();
    RunProbe(row, view);
    AppState.probeBusy = 0;
}

void MainWindowSetCom(MainWindowView* view) {
    if (AppState.portOpen) SerialClose();
    if (!view->ChoosePort()) return;
    TargetsClosePort();
    MainWindowOpen(view);
}

void MainWindowUploaderGone(const TargetRow& row, MainWindowView* view) {
    view->Enable(row.updateButton, 0);
    view->SetText(IDC_RESULT_LINE, row.completedText);
    view->SetText(IDC_PORT_LINE, "");
    view->SetText(IDC_HW_LINE, "");
    MainWindowEnableProbes(view, 1);
}
