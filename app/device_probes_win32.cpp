// The T62, PSoC and ZQ3 probes of the main window.
#include <windows.h>
#include <cstdio>

#include "app/device_probes.h"
#include "core/app_state.h"
#include "res/resource.h"
#include "serial/frame.h"
#include "serial/serial_port.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_probe.h"

namespace {

enum { kProbeReadTimeoutMs = 1500, kT62Baud = 115200, kPsocBaud = 19200 };

// The T62 identify reply: byte 0, hardware revision, loader minor, loader
// major, then the checksum byte.
enum { kT62IdentifyLimit = 16, kT62IdentifyReplyBytes = 5 };

enum { kPsocIdentifyRequest = 0xCC, kPsocIdentifyReply = 0x33 };

void SetLine(HWND window, int id, const char* text) {
    SetDlgItemTextA(window, id, text);
}

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

void ShowOpenFailure(HWND window, int32_t code) {
    switch (code) {
        case kSerialOpenFailed:
            SetLine(window, IDC_PORT_LINE, "Comm port open error");
            return;
        case kSerialGetStateFailed:
            SetLine(window, IDC_PORT_LINE, "Get comm state failed");
            return;
        case kSerialSetStateFailed:
            SetLine(window, IDC_PORT_LINE, "Set comm state failed");
            return;
        case kSerialGetTimeoutsFailed:
            SetLine(window, IDC_PORT_LINE, "Get comm timeouts failed");
            return;
        case kSerialSetTimeoutsFailed:
            SetLine(window, IDC_PORT_LINE, "Set comm timeouts failed");
            return;
        case kSerialPurgeFailed:
            SetLine(window, IDC_PORT_LINE, "Comm purge failed");
            return;
    }
    std::snprintf(AppState.statusText, sizeof AppState.statusText, "Comm error: %d", static_cast<int>(code));
    SetLine(window, IDC_PORT_LINE, AppState.statusText);
}

// The synchronous channel and the keyer channel cannot hold the port at the
// same time: a T62 or PSoC probe first lets go of a keyer channel that a ZQ3
// probe left open (KeyerClose also clears portOpen), then of its own channel.
void ReleasePortForSerial() {
    if (AppState.keyerHandle != nullptr) KeyerClose();
    if (AppState.portOpen) SerialClose();
}

// And the reverse for the ZQ3 probe.
void ReleasePortForKeyer() {
    if (AppState.portHandle != nullptr) SerialClose();
    if (AppState.portOpen) KeyerClose();
}

// Sends the identify command (payload 0x00 0x01) and reads the reply into
// rxBuffer. Returns 0 when the request could not be sent, else 1 with the
// SerialReadFrame result in *replyCount.
int T62Identify(int32_t* replyCount) {
    AppState.txBuffer[0] = 0x00;
    AppState.txBuffer[1] = 0x01;
    if (SerialWriteFrame(AppState.portHandle, AppState.txBuffer, 2) <= 0) return 0;
    *replyCount = SerialReadFrame(AppState.portHandle, AppState.rxBuffer, kT62IdentifyLimit);
    return 1;
}

// Sends the raw byte 0xCC and reads the two-byte answer into rxBuffer.
// Returns -1 when the request could not be sent, 0 when the answer did not
// fully arrive within the read timeout, 1 when it did.
int PsocIdentify() {
    AppState.txBuffer[0] = kPsocIdentifyRequest;
    uint32_t written = 0;
    if (!PortWrite(AppState.portHandle, AppState.txBuffer, 1, &written) || written != 1) return -1;
    uint32_t got = 0;
    if (!PortRead(AppState.portHandle, AppState.rxBuffer, 2, &got) || got < 2) return 0;
    return 1;
}

void RunT62Probe(HWND window) {
    ReleasePortForSerial();
    int32_t opened = SerialOpen(AppState.comPort, kT62Baud, kProbeReadTimeoutMs);
    if (opened != 0) {
        ShowOpenFailure(window, opened);
        return;
    }
    SetLine(window, IDC_HW_LINE, "");
    ShowProgressLine(window, IDC_PORT_LINE, "Comm port OK, now try T62...");

    int32_t n = 0;
    if (!T62Identify(&n)) {
        SetLine(window, IDC_PORT_LINE, "T62 is not accessible.");
        return;
    }
    // A reply without all four bytes and its checksum is no answer: its
    // versions would be bytes that never arrived. A short one shows how many
    // bytes came.
    if (n < kT62IdentifyReplyBytes) {
        std::snprintf(AppState.statusText, sizeof AppState.statusText, "T62 is not responding: %d", static_cast<int>(n));
        SetLine(window, IDC_PORT_LINE, AppState.statusText);
        return;
    }
    const uint8_t* reply = AppState.rxBuffer;
    std::snprintf(AppState.statusText, sizeof AppState.statusText, "F/W Loader v%u.%u Connected",
                  static_cast<unsigned>(reply[3]), static_cast<unsigned>(reply[2]));
    SetLine(window, IDC_PORT_LINE, AppState.statusText);
    std::snprintf(AppState.statusText, sizeof AppState.statusText, "T62 H/W Revision %c",
                  static_cast<char>(static_cast<uint8_t>(reply[1] + 0x40)));
    SetLine(window, IDC_HW_LINE, AppState.statusText);
    DisableProbeButtons(window);
    EnableControl(window, IDC_T62_UPDATE, TRUE);
}

void RunPsocProbe(HWND window) {
    ReleasePortForSerial();
    int32_t opened = SerialOpen(AppState.comPort, kPsocBaud, kProbeReadTimeoutMs);
    if (opened != 0) {
        ShowOpenFailure(window, opened);
        return;
    }
    ShowProgressLine(window, IDC_PORT_LINE, "Comm port opened sucessfully");

    int answered = PsocIdentify();
    if (answered < 0) {
        SetLine(window, IDC_PORT_LINE, "PSoC is not accessible.");
        return;
    }
    if (answered == 0) {
        SetLine(window, IDC_PORT_LINE, "PSoC is not responding.");
        return;
    }
    // Anything but "3" first is not the boot loader: the port line keeps
    // saying only that the port opened.
    if (AppState.rxBuffer[0] != kPsocIdentifyReply) return;
    std::snprintf(AppState.statusText, sizeof AppState.statusText, "PSoC Boot Loader ver %c",
                  static_cast<char>(AppState.rxBuffer[1]));
    SetLine(window, IDC_PORT_LINE, AppState.statusText);
    DisableProbeButtons(window);
    EnableControl(window, IDC_PSOC_UPDATE, TRUE);
}

void RunZq3Probe(HWND window) {
    ReleasePortForKeyer();
    int r = ProbeKeyer(window);
    if (r < 0) {
        SetLine(window, IDC_RESULT_LINE, "ZQ3 Error, check com port");
    } else if (r == kIcNoOs) {
        // Reachable, but only its loader runs: offer the update (recovery).
        SetLine(window, IDC_RESULT_LINE, "Click FW Update");
        EnableControl(window, IDC_ZQ3_UPDATE, TRUE);
    } else {
        SetLine(window, IDC_RESULT_LINE, "ZQ3 IC Test Passed");
        DisableProbeButtons(window);
        EnableControl(window, IDC_ZQ3_UPDATE, TRUE);
    }
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
