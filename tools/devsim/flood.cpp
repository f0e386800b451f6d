#include "tools/devsim/flood.h"

#include <unistd.h>

#include <cerrno>

#include "tools/devsim/device_state.h"
#include "tools/devsim/devsim.h"

namespace {

// How often a running flood hands its bytes to the line.
const int64_t kFloodTickNs = 5 * 1000000LL;

struct Pattern {
    const uint8_t* bytes;
    size_t size;
};

const uint8_t kStartBytes[] = {0x55};
const uint8_t kFrameStarts[] = {0x55, 0x55, 0x01, 0x02, 0x03};
const uint8_t kEscapes[] = {0x05};

Pattern PatternOf(int kind) {
    switch (kind) {
        case kFloodFrameStarts: return {kFrameStarts, sizeof kFrameStarts};
        case kFloodEscapes: return {kEscapes, sizeof kEscapes};
        default: return {kStartBytes, sizeof kStartBytes};
    }
}

void NoteEnd(Sim* sim, const char* why) {
    Flood* f = &sim->flood;
    TranscriptNote(&sim->transcript, "flood %s from %s %s: %llu bytes sent, %llu lost", FloodKindName(f->kind),
                   DeviceName(f->device), why, static_cast<unsigned long long>(f->sent),
                   static_cast<unsigned long long>(f->lost));
    f->device = -1;
}

}  // namespace

const char* FloodKindName(int kind) {
    switch (kind) {
        case kFloodFrameStarts: return "start";
        case kFloodEscapes: return "escape";
        default: return "55";
    }
}

void FloodStart(Sim* sim, int device, int kind, int ms) {
    if (sim->flood.device >= 0) NoteEnd(sim, "replaced");
    Flood* f = &sim->flood;
    *f = Flood();
    f->device = device;
    f->kind = kind;
    f->startNs = MonotonicNs();
    f->endNs = ms > 0 ? f->startNs + ms * 1000000LL : 0;
    if (ms > 0) {
        TranscriptNote(&sim->transcript, "flood %s from %s at %u baud for %d ms", FloodKindName(kind),
                       DeviceName(device), DeviceBaud(sim, device), ms);
    } else {
        TranscriptNote(&sim->transcript, "flood %s from %s at %u baud until stopped", FloodKindName(kind),
                       DeviceName(device), DeviceBaud(sim, device));
    }
    FloodTick(sim, f->startNs);
}

bool Flooding(const Sim* sim, int device) { return sim->flood.device >= 0 && sim->flood.device == device; }

int64_t FloodDeadline(const Sim* sim) {
    if (sim->flood.device < 0) return 0;
    int64_t next = MonotonicNs() + kFloodTickNs;
    if (sim->flood.endNs && sim->flood.endNs < next) next = sim->flood.endNs;
    return next;
}

void FloodTick(Sim* sim, int64_t nowNs) {
    Flood* f = &sim->flood;
    if (f->device < 0) return;
    int64_t until = f->endNs && nowNs > f->endNs ? f->endNs : nowNs;
    uint32_t baud = DeviceBaud(sim, f->device);
    uint64_t due = static_cast<uint64_t>((until - f->startNs) / ByteTimeNs(baud)) + 1;
    if (due > f->due) {
        uint64_t count = due - f->due;
        f->due = due;
        // The host hears the device only at the device's speed; the pattern
        // runs on from where the host last heard it.
        if (LineBaud(&sim->line) != baud) {
            f->lost += count;
        } else {
            Pattern p = PatternOf(f->kind);
            uint8_t chunk[4096];
            size_t n = count < sizeof chunk ? static_cast<size_t>(count) : sizeof chunk;
            for (size_t i = 0; i < n; ++i) chunk[i] = p.bytes[(f->sent + i) % p.size];
            ssize_t written = write(sim->line.master, chunk, n);
            if (written < 0) written = 0;
            f->sent += static_cast<uint64_t>(written);
            f->lost += count - static_cast<uint64_t>(written);
        }
    }
    if (f->endNs && nowNs >= f->endNs) NoteEnd(sim, "ended");
}

void FloodStop(Sim* sim) {
    if (sim->flood.device >= 0) NoteEnd(sim, "stopped");
}
