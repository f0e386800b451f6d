// The Update step of the ZQ3 uploader, up to the start of its worker: the
// image is there, the IC answers the re-probe, and the image is for it.
// Every front end runs this step and shows what it returns.
#pragma once

#include "zq3/keyer_probe.h"

// What the step found.
enum KeyerUpdateOutcome {
    kKeyerUpdateReady = 0,     // start KeyerUploadWorker; text is the running line
    kKeyerUpdateNoImage,       // no image loaded
    kKeyerUpdateNoRecords,     // the last load read no records
    kKeyerUpdateNotConnected,  // the re-probe failed; its lines are in probe
    kKeyerUpdateWrongImage,    // the variant check refused the image
};

struct KeyerUpdateStep {
    int outcome;
    int probeResult;         // ProbeKeyer's result; 0 when it did not run
    KeyerProbeResult probe;  // the re-probe's lines
    const char* text;        // the line to show for the outcome
};

// Reads keyerImageLoaded, keyerRecordCount and keyerImageVariant; probes the
// IC on the keyer channel (opening it on comPort when none is open). When
// ready, keyerUpdateAllowed is 1 and keyerProgress and uploadResult are 0.
void KeyerPrepareUpdate(KeyerUpdateStep* step);
