#include "tools/devsim/psoc_device.h"

#include <cstring>

#include "tools/devsim/device_state.h"
#include "tools/devsim/devsim.h"
#include "tools/devsim/reply.h"

namespace {

const uint8_t kResetFrame[] = {0x55, 0x55, 0x08, 0x00, 0xF8, 0x04};

void Identify(Sim* sim) {
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDevicePsoc, "identify");
    if (fx.ignore) return SendReply(sim, kDevicePsoc, fx, {});
    std::vector<uint8_t> reply = {'3', static_cast<uint8_t>(sim->psoc.version)};
    if (fx.corrupt) reply[0] ^= 0xFF;
    SendReply(sim, kDevicePsoc, fx, reply);
}

void Finish(Sim* sim) {
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDevicePsoc, "finish");
    if (fx.ignore) return SendReply(sim, kDevicePsoc, fx, {});
    TranscriptNote(&sim->transcript, "finish psoc");
    DumpMemory(sim, kDevicePsoc);
    std::vector<uint8_t> reply = {0xA5};
    if (fx.corrupt) reply[0] ^= 0xFF;
    SendReply(sim, kDevicePsoc, fx, reply);
}

void Reset(Sim* sim) {
    sim->psoc.pending.clear();
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDevicePsoc, "reset");
    if (!fx.ignore) TranscriptNote(&sim->transcript, "reset psoc");
    SendReply(sim, kDevicePsoc, fx, {});
}

// pending holds 0x55, the block number, 64 data bytes and 0x04.
void Block(Sim* sim) {
    PsocDevice* dev = &sim->psoc;
    std::vector<uint8_t> request;
    request.swap(dev->pending);
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDevicePsoc, "block");
    if (fx.ignore) return SendReply(sim, kDevicePsoc, fx, {});
    if (fx.noop)
        TranscriptNote(&sim->transcript, "psoc block %u: not carried out", request[1]);
    else
        std::memcpy(&dev->memory[request[1] * kPsocBlockBytes], &request[2], kPsocBlockBytes);
    // The echo is the request without its command byte: number, data, 0x04.
    std::vector<uint8_t> reply(request.begin() + 1, request.end());
    if (fx.corrupt) reply[1 + 20] ^= 0xFF;
    if (fx.wrongAddress) reply[0] ^= 0x01;
    if (fx.shortCount >= 0 && static_cast<size_t>(fx.shortCount) < reply.size()) reply.resize(fx.shortCount);
    SendReply(sim, kDevicePsoc, fx, reply);
}

}  // namespace

void PsocInit(PsocDevice* dev, uint8_t fill) { dev->memory.assign(kPsocMemoryBytes, fill); }

namespace {

bool PendingIsReset(const PsocDevice* dev) {
    return dev->pending.size() == sizeof kResetFrame &&
           std::memcmp(dev->pending.data(), kResetFrame, sizeof kResetFrame) == 0;
}

}  // namespace

int64_t PsocDeadline(const PsocDevice* dev) {
    if (dev->pending.empty()) return 0;
    return dev->lastByteNs + (PendingIsReset(dev) ? kPsocResetQuietNs : dev->blockGapNs);
}

void PsocTick(Sim* sim, int64_t nowNs) {
    PsocDevice* dev = &sim->psoc;
    if (dev->pending.empty() || nowNs < PsocDeadline(dev)) return;
    if (PendingIsReset(dev)) {
        Reset(sim);
        return;
    }
    TranscriptNote(&sim->transcript, "psoc: %zu bytes of a block, then nothing: dropped", dev->pending.size());
    dev->pending.clear();
}

void PsocFeed(Sim* sim, uint8_t byte, int64_t atNs) {
    PsocDevice* dev = &sim->psoc;
    PsocTick(sim, atNs);
    dev->lastByteNs = atNs;
    if (dev->pending.empty()) {
        switch (byte) {
            case 0xCC: Identify(sim); break;
            case 0x5A: Finish(sim); break;
            case 0x55: dev->pending.push_back(byte); break;
            default: TranscriptNote(&sim->transcript, "psoc ignores %02x", byte); break;
        }
        return;
    }
    dev->pending.push_back(byte);
    size_t n = dev->pending.size();
    if (n == 2 && byte >= kPsocBlockCount) {
        TranscriptNote(&sim->transcript, "psoc: no block %u, dropped", byte);
        dev->pending.clear();
        return;
    }
    if (n == kPsocBlockRequest) {
        if (byte == 0x04) {
            Block(sim);
        } else {
            TranscriptNote(&sim->transcript, "psoc: block %u does not end with 04, dropped", dev->pending[1]);
            dev->pending.clear();
        }
    }
}
