#include "tools/devsim/t62_device.h"

#include "tools/devsim/device_state.h"
#include "tools/devsim/devsim.h"
#include "tools/devsim/reply.h"

namespace {

// Reply body length of the long fault: beyond every reply limit of the host.
const size_t kLongReplyBytes = 300;

bool IsPad(uint32_t offset) { return (offset & 3) == 3; }

uint32_t AddressOf(const std::vector<uint8_t>& p) { return p[2] | (p[3] << 8) | (p[4] << 16); }

// Reply to a command that only needs acknowledging: command, count and the
// low two address bytes (short enough for the host's write-reply limit).
std::vector<uint8_t> Ack(const std::vector<uint8_t>& p) { return {p[0], p[1], p[2], p[3]}; }

void Answer(Sim* sim, const FaultEffects& fx, std::vector<uint8_t> payload) {
    if (fx.longReply) {
        payload.resize(kLongReplyBytes, 0xA5);
    }
    if (fx.wrongCommand && !payload.empty()) payload[0] ^= 0x80;
    if (fx.wrongAddress && payload.size() > 2) payload[2] ^= 0x80;
    SendReply(sim, kDeviceT62, fx, BuildFrame(payload, fx.corrupt));
}

void Identify(Sim* sim) {
    T62Device* dev = &sim->t62;
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDeviceT62, "identify");
    if (fx.ignore) return SendReply(sim, kDeviceT62, fx, {});
    Answer(sim, fx, {0x00, dev->hwRevision, dev->loaderMinor, dev->loaderMajor});
}

void ReadRow(Sim* sim, const std::vector<uint8_t>& p) {
    T62Device* dev = &sim->t62;
    uint32_t address = AddressOf(p) & ~1u;
    uint32_t words = p[1];
    if (words == 0 || address + 2 * words - 1 > kT62LastAddress) {
        TranscriptNote(&sim->transcript, "t62 read of %u words at %06x is out of range: no reply", words, address);
        return;
    }
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDeviceT62, "read");
    if (fx.ignore) return SendReply(sim, kDeviceT62, fx, {});
    std::vector<uint8_t> reply(p.begin(), p.begin() + 5);
    if (fx.stale) {
        // What a reply for another row, come late, looks like.
        address = address >= kT62RowUnits ? address - kT62RowUnits : address + kT62RowUnits;
        reply[2] = static_cast<uint8_t>(address);
        reply[3] = static_cast<uint8_t>(address >> 8);
        reply[4] = static_cast<uint8_t>(address >> 16);
    }
    uint32_t offset = 2 * address;
    reply.insert(reply.end(), dev->memory.begin() + offset, dev->memory.begin() + offset + 4 * words);
    if (fx.diff) {
        // The second byte of the eighth word (or of the last one, on a short read).
        size_t at = 5 + 4 * (words > 7 ? 7 : words - 1) + 1;
        reply[at] ^= 0xFF;
    }
    Answer(sim, fx, reply);
}

void WriteRow(Sim* sim, const std::vector<uint8_t>& p) {
    T62Device* dev = &sim->t62;
    uint32_t address = AddressOf(p);
    uint32_t row = address & ~(kT62RowUnits - 1u);
    if (row > kT62LastAddress) {
        TranscriptNote(&sim->transcript, "t62 write at %06x is out of range: no reply", address);
        return;
    }
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDeviceT62, "write");
    if (fx.ignore) return SendReply(sim, kDeviceT62, fx, {});
    if (row != address) TranscriptNote(&sim->transcript, "t62 write at %06x is not row aligned", address);
    TranscriptNote(&sim->transcript, "write %06x%s", row, fx.noop ? ": not carried out" : "");
    // Flash: programming can only clear bits; the pad bytes are not stored.
    uint32_t offset = 2 * row;
    for (uint32_t i = 0; i < 2 * kT62RowUnits && !fx.noop; ++i) {
        if (!IsPad(offset + i)) dev->memory[offset + i] &= p[5 + i];
    }
    Answer(sim, fx, Ack(p));
}

void Erase(Sim* sim, const std::vector<uint8_t>& p) {
    T62Device* dev = &sim->t62;
    uint32_t block = AddressOf(p) & ~(kT62EraseUnits - 1u);
    if (block > kT62LastAddress) {
        TranscriptNote(&sim->transcript, "t62 erase at %06x is out of range: no reply", AddressOf(p));
        return;
    }
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDeviceT62, "erase");
    if (fx.ignore) return SendReply(sim, kDeviceT62, fx, {});
    TranscriptNote(&sim->transcript, "erase %06x%s", block, fx.noop ? ": not carried out" : "");
    uint32_t offset = 2 * block;
    for (uint32_t i = 0; i < 2 * kT62EraseUnits && !fx.noop; ++i) {
        if (!IsPad(offset + i)) dev->memory[offset + i] = 0xFF;
    }
    Answer(sim, fx, Ack(p));
}

void Reset(Sim* sim) {
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDeviceT62, "reset");
    if (!fx.ignore) {
        TranscriptNote(&sim->transcript, "reset t62");
        DumpMemory(sim, kDeviceT62);
    }
    SendReply(sim, kDeviceT62, fx, {});
}

void Command(Sim* sim, const std::vector<uint8_t>& p) {
    size_t n = p.size();
    uint8_t command = n ? p[0] : 0xFF;
    if (command == 0x00 && n == 2) return Identify(sim);
    if (command == 0x01 && n == 5) return ReadRow(sim, p);
    if (command == 0x02 && n == 5 + 2 * kT62RowUnits) return WriteRow(sim, p);
    if (command == 0x03 && n == 5) return Erase(sim, p);
    if (command == 0x08 && n == 2) return Reset(sim);
    TranscriptNote(&sim->transcript, "t62 ignores a frame: command %02x, %zu payload bytes", command, n);
}

}  // namespace

void T62Init(T62Device* dev, uint8_t fill) {
    dev->memory.assign(kT62MemoryBytes, fill);
    for (uint32_t i = 3; i < kT62MemoryBytes; i += 4) dev->memory[i] = 0x00;
}

void T62Feed(Sim* sim, uint8_t byte) {
    std::vector<uint8_t> payload;
    switch (FrameReaderFeed(&sim->t62.reader, byte, &payload)) {
        case kFrameGood: Command(sim, payload); break;
        case kFrameBadChecksum: TranscriptNote(&sim->transcript, "t62 frame with a bad checksum: no reply"); break;
        case kFrameOverlong: TranscriptNote(&sim->transcript, "t62 frame too long: no reply"); break;
        case kFrameIncomplete: break;
    }
}
