#include "tools/devsim/outage.h"

#include <string>

#include "tools/devsim/devsim.h"
#include "tools/devsim/flood.h"

namespace {

void Restart(Sim* sim, int device) {
    switch (device) {
        case kDeviceT62: sim->t62.reader = FrameReader(); break;
        case kDevicePsoc: sim->psoc.pending.clear(); break;
        case kDeviceKeyer: KeyerPowerOn(&sim->keyer); break;
        default: break;
    }
}

}  // namespace

bool DeviceOff(const Sim* sim, int device, int64_t atNs) {
    return sim->powerBackNs[device] != 0 && atNs < sim->powerBackNs[device];
}

void PowerLoss(Sim* sim, int device, int ms) {
    TranscriptNote(&sim->transcript, "power off %s for %d ms", DeviceName(device), ms);
    if (Flooding(sim, device)) FloodStop(sim);
    Restart(sim, device);
    sim->powerBackNs[device] = MonotonicNs() + ms * 1000000LL;
    if (ms == 0) PowerTick(sim, sim->powerBackNs[device]);
}

int64_t PowerDeadline(const Sim* sim) {
    int64_t next = 0;
    for (int d = 0; d < kDeviceCount; ++d) {
        int64_t at = sim->powerBackNs[d];
        if (at != 0 && (next == 0 || at < next)) next = at;
    }
    return next;
}

void PowerTick(Sim* sim, int64_t nowNs) {
    for (int d = 0; d < kDeviceCount; ++d) {
        if (sim->powerBackNs[d] == 0 || nowNs < sim->powerBackNs[d]) continue;
        sim->powerBackNs[d] = 0;
        if (d == kDeviceKeyer) {
            TranscriptNote(&sim->transcript, "power on keyer: %s at 1200", sim->keyer.loader ? "loader" : "O/S");
        } else {
            TranscriptNote(&sim->transcript, "power on %s", DeviceName(d));
        }
    }
}

bool TakePendingOutage(Sim* sim) {
    PendingOutage* o = &sim->faults.outage;
    if (o->powerMs >= 0) PowerLoss(sim, o->powerDevice, o->powerMs);
    bool unplug = o->unplugMs >= 0;
    if (unplug) {
        TranscriptNote(&sim->transcript, "unplugged for %d ms", o->unplugMs);
        sim->linkPath = sim->line.link;
        LineClose(&sim->line);
        sim->lineBackNs = MonotonicNs() + o->unplugMs * 1000000LL;
        // The bytes on their way are lost; the devices keep their state.
        sim->t62.reader = FrameReader();
        sim->psoc.pending.clear();
        sim->keyer.pending.clear();
    }
    *o = PendingOutage();
    return unplug;
}

bool ReplugLine(Sim* sim, int64_t nowNs) {
    if (nowNs < sim->lineBackNs) return true;
    sim->lineBackNs = 0;
    if (!LineOpen(&sim->line) || !LinePublish(&sim->line, sim->linkPath.c_str())) return false;
    TranscriptNote(&sim->transcript, "plugged in again: %s", sim->line.slavePath.c_str());
    return true;
}
