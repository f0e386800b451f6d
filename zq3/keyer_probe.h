// The keyer interface probe: is a ZQ3 keyer IC there, which firmware and
// which variant, or only its loader. The main window's OpenZQ3, the ZQ3
// uploader's Update and the command line's probe all run it.
#pragma once
#include <cstddef>
#include <cstdint>

struct KeyerProbeResult {
    char portLine[64];     // "ZQ3 Fail:No O/S", the version line, ...
    char variantLine[32];  // "ZQ IC: JADE", or empty when no variant is known
};

// What a window shows while the probe waits for the IC.
extern const char* const kKeyerProbeWaitingText;

// The main window's result line once the ZQ3 uploader is closed.
extern const char* const kKeyerUpdateCompletedText;

// Probes the IC on the keyer channel. When no keyer channel is open it lets
// go of a synchronous port that is held and opens the channel on
// AppState.comPort at 1200 baud; an open channel is used as it is. An IC
// that does not answer at 1200 baud is asked once more at the loader's
// record speed, where an upload cut short leaves it; a line already there is
// asked there first. Only the loader's answer keeps the line at that speed.
// Returns -1 on failure, 5 for an IC without its operating firmware, else
// the firmware version (30 or more). Fills result's lines unless it is null.
int ProbeKeyer(KeyerProbeResult* result);

// The port line for a KeyerOpen failure code ("ZQ Fail:comm open", ...), as
// the probe shows it when its own open fails; for a front end that opens
// the channel itself before it probes.
const char* KeyerOpenFailureText(int code);

// The main window's result line for ProbeKeyer's return value: "ZQ3 IC Test
// Passed", "Click FW Update" (recovery) or "ZQ3 Error, check com port".
const char* KeyerProbeResultText(int probeResult);

// Asks the IC type; the reply byte, or 0 when none came.
uint8_t QueryKeyerIcType();

// The echo test once more, on the keyer channel a probe left open at 1200
// baud, its exchange timed (serial/turn_around.h): 1 when the operating
// firmware echoed it. It changes nothing on the IC.
int KeyerTimedEcho();

// The probe's version line for an IC type; a defined line also for a type
// outside 1-4. Returns what snprintf returns.
int FormatKeyerVersionLine(char* line, size_t size, uint8_t icType, uint8_t version, uint8_t revision);
