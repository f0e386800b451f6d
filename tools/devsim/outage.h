// Power loss and an unplugged line.
//
// Power loss (fault power:CMD:N:MS, or SIGUSR1 for every device at once):
// the command is lost, the device hears nothing for MS ms, then starts
// afresh with its memory kept: the T62 and the PSoC in their loaders, the
// keyer IC at 1200 baud, in its loader without O/S when an upload had begun
// and not reached its last frame (0x2E), else with its O/S.
//
// Unplug (fault unplug:CMD:N:MS): the command is lost, the pseudo-terminal
// closes and its link goes away; MS ms later a new one is linked at the same
// place. The devices keep their power and their state, as when a USB serial
// adapter is pulled out: only the bytes on their way are lost.
#pragma once
#include <cstdint>

struct Sim;

// Whether device is without power at atNs (it hears nothing then).
bool DeviceOff(const Sim* sim, int device, int64_t atNs);

// device loses power now, for ms (0: a power cycle). Its state restarts at
// once; it stays deaf until the power is back.
void PowerLoss(Sim* sim, int device, int ms);

// When the next device gets its power back (0: none is off).
int64_t PowerDeadline(const Sim* sim);

// Notes each device whose power is back by nowNs.
void PowerTick(Sim* sim, int64_t nowNs);

// Carries out the power loss or unplug that the command just dispatched set
// off. Returns true when the line went down: the rest of what was read is
// lost with it.
bool TakePendingOutage(Sim* sim);

// While the line is down: links a new pseudo-terminal once its time is up.
// Returns false when that fails.
bool ReplugLine(Sim* sim, int64_t nowNs);
