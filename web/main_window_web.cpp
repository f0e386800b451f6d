// The main window in the page: start-up state, the three probes, the port
// choice and leaving, as the Windows program's main window has them. The
// browser's port chooser stands in for the port dialog.
#include <emscripten.h>

#include <cstdio>

#include "core/app_state.h"
#include "psoc/psoc_probe.h"
#include "res/resource.h"
#include "serial/port_web.h"
#include "serial/serial_port.h"
#include "serial/serial_texts.h"
#include "t62/t62_probe.h"
#include "web/main_window_return_web.h"
#include "web/main_window_web.h"
#include "web/uploaders_web.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_probe.h"

namespace {

void SetLine(int id, const char* text) { PageSetText(IDD_MAIN, id, text); }
void Enable(int id, int on) { PageEnable(IDD_MAIN, id, on); }

// The port label names the port chosen in the browser, which has no COM
// number: a USB adapter by its vendor and product ids.
void ShowPortLabel() {
    int32_t id = WebPortUsbId();
    if (id == kWebPortNone) {
        SetLine(IDC_PORT_LABEL, "");
    } else if (id == kWebPortNotUsb) {
        SetLine(IDC_PORT_LABEL, "serial port");
    } else {
        std::snprintf(AppState.statusText, sizeof AppState.statusText, "USB %04x:%04x", static_cast<unsigned>(id) >> 16,
                      static_cast<unsigned>(id) & 0xFFFF);
        SetLine(IDC_PORT_LABEL, AppState.statusText);
    }
}

// Opens the synchronous channel through open; on failure shows why.
bool OpenSerial(int32_t (*open)(int32_t)) {
    // The synchronous channel and the keyer channel cannot hold the port at
    // the same time: let go of a keyer channel that a ZQ3 probe left open
    // (KeyerClose also clears portOpen), then of our own channel.
    if (AppState.keyerHandle != nullptr) KeyerClose();
    if (AppState.portOpen) SerialClose();
    int32_t opened = open(AppState.comPort);
    if (opened == 0) return true;
    SetLine(IDC_PORT_LINE, SerialOpenFailureText(opened, AppState.statusText, sizeof AppState.statusText));
    return false;
}

void RunT62Probe() {
    if (!OpenSerial(T62ProbeOpen)) return;
    SetLine(IDC_HW_LINE, "");
    SetLine(IDC_PORT_LINE, kT62ProbeWaitingText);

    T62ProbeResult result;
    T62ProbeIdentify(&result);
    char hwLine[64];
    FormatT62ProbeLines(&result, AppState.statusText, sizeof AppState.statusText, hwLine, sizeof hwLine);
    SetLine(IDC_PORT_LINE, AppState.statusText);
    if (result.outcome != kT62ProbeConnected) return;
    SetLine(IDC_HW_LINE, hwLine);
    MainEnableProbeButtons(0);
    Enable(IDC_T62_UPDATE, 1);
}

void RunPsocProbe() {
    if (!OpenSerial(PsocProbeOpen)) return;
    SetLine(IDC_PORT_LINE, kPsocProbeWaitingText);

    PsocProbeResult result;
    PsocProbeIdentify(&result);
    FormatPsocProbeLine(&result, AppState.statusText, sizeof AppState.statusText);
    SetLine(IDC_PORT_LINE, AppState.statusText);
    if (result.outcome != kPsocProbeConnected) return;
    MainEnableProbeButtons(0);
    Enable(IDC_PSOC_UPDATE, 1);
}

void RunZq3Probe() {
    // A fresh keyer channel for every probe: let go of whatever holds the port.
    if (AppState.portHandle != nullptr) SerialClose();
    if (AppState.portOpen) KeyerClose();
    SetLine(IDC_PORT_LINE, kKeyerProbeWaitingText);

    KeyerProbeResult lines;
    int r = ProbeKeyer(&lines);
    SetLine(IDC_PORT_LINE, lines.portLine);
    if (lines.variantLine[0] != '\0') SetLine(IDC_HW_LINE, lines.variantLine);
    SetLine(IDC_RESULT_LINE, KeyerProbeResultText(r));
    if (r < 0) return;
    // An IC without its O/S is reachable through its loader only: offer the
    // update (recovery) and leave the other probes on.
    if (r != kIcNoOs) MainEnableProbeButtons(0);
    Enable(IDC_ZQ3_UPDATE, 1);
}

// Every probe: refused while one runs; clears the result line, asks for a
// port if none was chosen yet (the press is what lets the page ask), and
// holds the busy flag for its whole run.
void Probe(void (*run)()) {
    if (AppState.probeBusy) return;
    AppState.probeBusy = 1;
    SetLine(IDC_RESULT_LINE, "");
    PageChoosePort(0);
    ShowPortLabel();
    run();
    AppState.probeBusy = 0;
}

// Set Com: the browser's chooser, for this port or another one. It comes
// first, while the press still allows the page to ask for it.
void ChoosePort() {
    PageChoosePort(1);
    if (AppState.portOpen) SerialClose();
    ShowPortLabel();
}

}  // namespace

extern "C" EMSCRIPTEN_KEEPALIVE void WebMainOpen() {
    AppState.comPort = 4;
    ShowPortLabel();
    MainEnableProbeButtons(1);
    Enable(IDC_T62_UPDATE, 0);
    Enable(IDC_PSOC_UPDATE, 0);
    Enable(IDC_ZQ3_UPDATE, 0);
}

// A port this page was given before, found once the page has loaded.
extern "C" EMSCRIPTEN_KEEPALIVE void WebMainShowPort() { ShowPortLabel(); }

extern "C" EMSCRIPTEN_KEEPALIVE void WebMainCommand(int id) {
    switch (id) {
        case IDC_OPEN_T62: Probe(RunT62Probe); break;
        case IDC_OPEN_PSOC: Probe(RunPsocProbe); break;
        case IDC_OPEN_ZQ3: Probe(RunZq3Probe); break;
        case IDC_T62_UPDATE:
        case IDC_PSOC_UPDATE:
        case IDC_ZQ3_UPDATE: WebUploaderOpen(MainUploaderOf(id)); break;
        case IDC_SET_COM: ChoosePort(); break;
        case IDC_EXIT:
            SerialClose();
            if (AppState.keyerHandle != nullptr) KeyerClose();
            PageEnd();
            break;
    }
    // Cancel (4101) does nothing.
}
