// The simulator as a whole: the line, the transcript, the faults and the
// devices that share the line, each hearing only its own speed.
#pragma once
#include <cstdint>
#include <string>

#include "tools/devsim/faults.h"
#include "tools/devsim/flood.h"
#include "tools/devsim/keyer_device.h"
#include "tools/devsim/psoc_device.h"
#include "tools/devsim/pty_line.h"
#include "tools/devsim/t62_device.h"
#include "tools/devsim/transcript.h"

struct Sim {
    PtyLine line;
    Transcript transcript;
    FaultTable faults;
    Flood flood;
    bool enabled[kDeviceCount] = {false, false, false};
    std::string memoryPath;  // empty: no memory files
    T62Device t62;
    PsocDevice psoc;
    KeyerDevice keyer;
    int64_t powerBackNs[kDeviceCount] = {0, 0, 0};  // a device without power gets it back then (0: on)
    int64_t lineBackNs = 0;                          // the line is unplugged until then (0: plugged in)
    std::string linkPath;                            // where an unplugged line is linked again
};
