#include "tools/devsim/reply.h"

#include <algorithm>

#include "tools/devsim/device_state.h"
#include "tools/devsim/devsim.h"

namespace {

// Paced: the reply, then its copy from the next byte time on, as a device's
// transmitter sends them. The simulator is a process the machine may hold
// back between the two; a copy that went out a byte time or more after its
// turn is noted, since a host that watched the line that long after the
// reply and went on cannot tell it from an answer to its next request: no
// device sends a copy that way, and a run that met one proves nothing.
void SendCopyAfter(Sim* sim, int device, uint32_t baud, const uint8_t* reply, size_t length) {
    PtyLine* line = &sim->line;
    if (LineSend(line, baud, reply, length) < length) return;
    int64_t step = ByteTimeNs(baud);
    size_t group = std::min(line->burst > 0 ? line->burst : size_t(1), length);
    int64_t due = line->txNextNs + static_cast<int64_t>(group - 1) * step;
    if (LineSend(line, baud, reply, length) == 0) return;
    int64_t lateNs = line->firstSentNs - due;
    if (lateNs >= step)
        TranscriptNote(&sim->transcript, "%s reply's copy went out %lld us late", DeviceName(device),
                       static_cast<long long>(lateNs / 1000));
}

}  // namespace

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
        TranscriptNote(&sim->transcript, "%s reply sent twice", DeviceName(device));
        if (sim->line.paced) {
            SendCopyAfter(sim, device, baud, reply.data(), length);
            return;
        }
        // Back to back, as a device's transmitter sends them: the copy
        // follows the reply at once, with no gap for the host to slip into.
        std::vector<uint8_t> twice(reply.begin(), reply.begin() + length);
        twice.insert(twice.end(), reply.begin(), reply.begin() + length);
        LineSend(&sim->line, baud, twice.data(), twice.size());
        return;
    }
    LineSend(&sim->line, baud, reply.data(), length);
}
