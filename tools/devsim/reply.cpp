#include "tools/devsim/reply.h"

#include "tools/devsim/device_state.h"
#include "tools/devsim/devsim.h"

void SendReply(Sim* sim, int device, const FaultEffects& fx, const std::vector<uint8_t>& reply) {
    if (sim->faults.silent[device]) {
        TranscriptNote(&sim->transcript, "%s is silent", DeviceName(device));
        return;
    }
    if (fx.lateMs > 0) {
        // A slow device: it takes nothing else from the line meanwhile.
        SleepUntil(MonotonicNs() + fx.lateMs * 1000000LL);
        TranscriptNote(&sim->transcript, "%s replies %d ms late", DeviceName(device), fx.lateMs);
    }
    if (Flooding(sim, device) && fx.floodKind < 0) {
        TranscriptNote(&sim->transcript, "%s reply lost in the flood", DeviceName(device));
        return;
    }
    uint32_t baud = DeviceBaud(sim, device);
    if (fx.noiseCount > 0) {
        std::vector<uint8_t> noise = NoiseBytes(fx.noiseCount);
        LineSend(&sim->line, baud, noise.data(), noise.size());
    }
    if (fx.floodKind >= 0) {
        FloodStart(sim, device, fx.floodKind, fx.floodMs);
        return;
    }
    if (fx.drop) return;
    if (fx.replyByte >= 0) {
        uint8_t b = static_cast<uint8_t>(fx.replyByte);
        LineSend(&sim->line, baud, &b, 1);
        return;
    }
    size_t length = reply.size();
    if (fx.cutCount >= 0 && static_cast<size_t>(fx.cutCount) < length) {
        length = static_cast<size_t>(fx.cutCount);
        TranscriptNote(&sim->transcript, "%s reply cut to %zu of %zu bytes", DeviceName(device), length, reply.size());
    }
    if (fx.doubled && length > 0) {
        // Back to back, as a device's transmitter sends them: the copy
        // follows the reply at once, with no gap for the host to slip into.
        TranscriptNote(&sim->transcript, "%s reply sent twice", DeviceName(device));
        std::vector<uint8_t> twice(reply.begin(), reply.begin() + length);
        twice.insert(twice.end(), reply.begin(), reply.begin() + length);
        LineSend(&sim->line, baud, twice.data(), twice.size());
        return;
    }
    LineSend(&sim->line, baud, reply.data(), length);
}
