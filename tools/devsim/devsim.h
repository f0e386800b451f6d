// The simulator as a whole: the line, the transcript, the faults and the
// devices that share the line, each hearing only its own speed.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

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

// The speed a device is listening and talking at right now.
uint32_t DeviceBaud(const Sim* sim, int device);

// The device that hears a byte at baud, or -1 when none does.
int DeviceAtBaud(const Sim* sim, uint32_t baud);

// Sends a device's reply (empty: the command has none) as the faults say:
// noise first, then the reply unless it is lost or the device is silent;
// a reply fault sends its one byte instead, a flood fault starts the flood
// instead. A device that floods the line sends no reply.
void SendReply(Sim* sim, int device, const FaultEffects& fx, const std::vector<uint8_t>& reply);

// Writes the device's memory file (FILE, or FILE.<device> when several
// devices share the line).
void DumpMemory(Sim* sim, int device);

// Holds SIGTERM, SIGINT and SIGHUP (stop), SIGUSR1 (power-cycle every
// device) and SIGUSR2 (write the memory files now) back until Serve waits
// for the line.
void InstallStopSignals();

// Serves the line until SIGTERM, SIGINT or SIGHUP. Returns the exit code.
int Serve(Sim* sim);
