// The PSoC probe: is the PSoC's boot loader on the port, and which version.
// The main window's OpenPSoC and the command line's probe both run it.
#pragma once
#include <cstddef>
#include <cstdint>

enum { kPsocProbeBaud = 19200, kPsocProbeReadTimeoutMs = 1500 };

enum PsocProbeOutcome {
    kPsocProbeConnected = 1,      // "3" and the version came
    kPsocProbeNotAccessible = 2,  // the request could not be sent
    kPsocProbeNotResponding = 3,  // the two bytes did not both come
    kPsocProbeNotBootLoader = 4,  // two bytes came, but not "3" first
};

struct PsocProbeResult {
    int32_t outcome;
    uint8_t version;  // the version character
};

// Opens COM<port> for the probe: SerialOpen at the boot loader's speed with
// the probe's read timeout. Returns SerialOpen's result.
int32_t PsocProbeOpen(int32_t port);

// The identify exchange (the raw byte 0xCC out, two bytes back) on the open port.
void PsocProbeIdentify(PsocProbeResult* result);

// What the window shows once the port is open: "Comm port opened sucessfully".
extern const char* const kPsocProbeWaitingText;

// The main window's result line once the PSoC uploader is closed.
extern const char* const kPsocUpdateCompletedText;

// The port line after the exchange: "PSoC Boot Loader ver 7", "PSoC is not
// responding." ... For an answer that is not the boot loader's the line
// keeps the waiting text.
void FormatPsocProbeLine(const PsocProbeResult* result, char* line, size_t size);
