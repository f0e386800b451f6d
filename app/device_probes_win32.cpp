// The T62, PSoC and ZQ3 probes of the main window: the core runs each
// exchange and formats its lines; the window shows them and switches its
// buttons.
#include <windows.h>

#include "app/device_probes.h"
#include "core/app_state.h"
#include "psoc/psoc_probe.h"
#include "res/resource.h"
#include "serial/serial_port.h"
#include "serial/serial_texts.h"
#include "t62/t62_probe.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_probe.h"

namespace {

void SetLine(HWND window, int id, const char* text) { SetDlgItemTextA(window, id, text); }

// Shows a line at once: the probe holds the thread for up to its read
// timeout, so the text would otherwise only appear when the probe is over.
void ShowProgressLine(HWND window, int id, const char* text) {
    SetDlgItemTextA(window, id, text);
    UpdateWindow(GetDlgItem(window, id));
}

void EnableControl(HWND window, int id, BOOL on) { EnableWindow(GetDlgItem(window, id), on); }

void DisableProbeButtons(HWND window) {
    EnableControl(window, IDC_OPEN_T62, FALSE);
    EnableControl(window, IDC_OPEN_PSOC, FALSE);
    EnableControl(window, IDC_OPEN_ZQ3, FALSE);
}

// Opens the synchronous channel through open; on failure shows why.
bool OpenSerial(HWND window, int32_t (*open)(int32_t)) {
    // The synchronous channel and the keyer channel cannot hold the port at
    // the same time: let go of a keyer channel that a ZQ3 probe left open
    // (KeyerClose also clears portOpen), then of our own channel.
    if (AppState.keyerHandle != nullptr) KeyerClose();
    if (AppState.portOpen) SerialClose();
    int32_t opened = open(AppState.comPort);
    if (opened == 0) return true;
    SetLine(window, IDC_PORT_LINE, SerialOpenFailureText(opened, AppState.statusText, sizeof AppState.statusText));
    return false;
}

void RunT62Probe(HWND window) {
    if (!OpenSerial(window, T62ProbeOpen)) return;
    SetLine(window, IDC_HW_LINE, "");
    ShowProgressLine(window, IDC_PORT_LINE, kT62ProbeWaitingText);

    T62ProbeResult result;
    T62ProbeIdentify(&result);
    char hwLine[64];
    FormatT62ProbeLines(&result, AppState.statusText, sizeof AppState.statusText, hwLine, sizeof hwLine);
    SetLine(window, IDC_PORT_LINE, AppState.statusText);
    if (result.outcome != kT62ProbeConnected) return;
    SetLine(window, IDC_HW_LINE, hwLine);
    DisableProbeButtons(window);
    EnableControl(window, IDC_T62_UPDATE, TRUE);
}

void RunPsocProbe(HWND window) {
    if (!OpenSerial(window, PsocProbeOpen)) return;
    ShowProgressLine(window, IDC_PORT_LINE, kPsocProbeWaitingText);

    PsocProbeResult result;
    PsocProbeIdentify(&result);
    FormatPsocProbeLine(&result, AppState.statusText, sizeof AppState.statusText);
    SetLine(window, IDC_PORT_LINE, AppState.statusText);
    if (result.outcome != kPsocProbeConnected) return;
    DisableProbeButtons(window);
    EnableControl(window, IDC_PSOC_UPDATE, TRUE);
}

void RunZq3Probe(HWND window) {
    // A fresh keyer channel for every probe: let go of whatever holds the port.
    if (AppState.portHandle != nullptr) SerialClose();
    if (AppState.portOpen) KeyerClose();
    ShowProgressLine(window, IDC_PORT_LINE, kKeyerProbeWaitingText);

    KeyerProbeResult lines;
    int r = ProbeKeyer(&lines);
    SetLine(window, IDC_PORT_LINE, lines.portLine);
    if (lines.variantLine[0] != '\0') SetLine(window, IDC_HW_LINE, lines.variantLine);
    SetLine(window, IDC_RESULT_LINE, KeyerProbeResultText(r));
    if (r < 0) return;
    // An IC without its O/S is reachable through its loader only: offer the
    // update (recovery) and leave the other probes on.
    if (r != kIcNoOs) DisableProbeButtons(window);
    EnableControl(window, IDC_ZQ3_UPDATE, TRUE);
}

// Every probe: refused while one runs; clears the result line and holds the
// busy flag for its whole run.
int BeginProbe(HWND window) {
    if (AppState.probeBusy) return 0;
    AppState.probeBusy = 1;
    SetLine(window, IDC_RESULT_LINE, "");
    return 1;
}

void EndProbe() { AppState.probeBusy = 0; }

}  // namespace

void ProbeT62(HWND mainWindow) {
    if (!BeginProbe(mainWindow)) return;
    RunT62Probe(mainWindow);
    EndProbe();
}

void ProbePsoc(HWND mainWindow) {
    if (!BeginProbe(mainWindow)) return;
    RunPsocProbe(mainWindow);
    EndProbe();
}

void ProbeZq3(HWND mainWindow) {
    if (!BeginProbe(mainWindow)) return;
    RunZq3Probe(mainWindow);
    EndProbe();
}
