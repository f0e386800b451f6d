// The T62 probe: is the T62's firmware loader on the port, and which loader
// and hardware revision. The main window's OpenT62 and the command line's
// probe both run it and show its lines.
#pragma once
#include <cstddef>
#include <cstdint>

enum { kT62ProbeBaud = 115200, kT62ProbeReadTimeoutMs = 1500 };

enum T62ProbeOutcome {
    kT62ProbeConnected = 1,      // the identify reply came whole
    kT62ProbeNotAccessible = 2,  // the request could not be sent
    kT62ProbeNotResponding = 3,  // no reply, or one too short (replyCount)
};

struct T62ProbeResult {
    int32_t outcome;
    int32_t replyCount;  // SerialReadFrame's result
    uint8_t hwRevision;
    uint8_t loaderMajor;
    uint8_t loaderMinor;
};

// Opens COM<port> for the probe: SerialOpen at the loader's speed with the
// probe's read timeout. Returns SerialOpen's result.
int32_t T62ProbeOpen(int32_t port);

// The identify exchange (payload 0x00 0x01 in one frame) on the open port.
void T62ProbeIdentify(T62ProbeResult* result);

// What the window shows once the port is open: "Comm port OK, now try T62...".
extern const char* const kT62ProbeWaitingText;

// The main window's result line once the T62 uploader is closed.
extern const char* const kT62UpdateCompletedText;

// The port line ("F/W Loader v2.5 Connected", "T62 is not responding: -2",
// ...) and the hardware line ("T62 H/W Revision A", empty unless connected).
void FormatT62ProbeLines(const T62ProbeResult* result, char* portLine, size_t portSize, char* hwLine,
                         size_t hwSize);
