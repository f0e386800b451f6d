// The line's dispatcher: each byte from the host goes to the device that
// listens at the speed the line is at, or nowhere.
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "tools/devsim/devsim.h"
#include "tools/devsim/outage.h"

namespace {

volatile sig_atomic_t stopRequested = 0;
volatile sig_atomic_t powerCycleRequested = 0;
volatile sig_atomic_t dumpRequested = 0;
sigset_t waitMask;  // the signal mask while waiting for the line

void OnStopSignal(int) { stopRequested = 1; }
void OnPowerCycleSignal(int) { powerCycleRequested = 1; }
void OnDumpSignal(int) { dumpRequested = 1; }


void Dispatch(Sim* sim, uint8_t byte, uint32_t baud, int64_t atNs) {
    int device = DeviceAtBaud(sim, baud);
    if (device >= 0 && DeviceOff(sim, device, atNs)) device = -1;
    TranscriptReceived(&sim->transcript, atNs, device < 0 ? "drop" : "H>D", baud, byte);
    switch (device) {
        case kDeviceT62: T62Feed(sim, byte); break;
        case kDevicePsoc: PsocFeed(sim, byte, atNs); break;
        case kDeviceKeyer: KeyerFeed(sim, byte); break;
        default: break;
    }
}

// When a device next has something to settle on its own (0: nothing).
int64_t NextDeadlineNs(const Sim* sim) {
    int64_t next = sim->enabled[kDevicePsoc] ? PsocDeadline(&sim->psoc) : 0;
    for (int64_t at : {FloodDeadline(sim), PowerDeadline(sim), sim->lineBackNs}) {
        if (at != 0 && (next == 0 || at < next)) next = at;
    }
    return next;
}

// The number of commands each device took, by kind: what a sweep of
// faults over every command of a run needs to know.
void NoteCommandCounts(Sim* sim) {
    for (int d = 0; d < kDeviceCount; ++d) {
        if (!sim->enabled[d]) continue;
        std::string counts;
        for (const auto& kind : sim->faults.counts[d]) {
            counts += " " + kind.first + " " + std::to_string(kind.second);
        }
        TranscriptNote(&sim->transcript, "commands %s:%s", DeviceName(d), counts.empty() ? " none" : counts.c_str());
    }
}

}  // namespace

uint32_t DeviceBaud(const Sim* sim, int device) {
    switch (device) {
        case kDeviceT62: return sim->t62.baud;
        case kDevicePsoc: return sim->psoc.baud;
        case kDeviceKeyer: return sim->keyer.baud;
        default: return 0;
    }
}

int DeviceAtBaud(const Sim* sim, uint32_t baud) {
    for (int d = 0; d < kDeviceCount; ++d) {
        if (sim->enabled[d] && DeviceBaud(sim, d) == baud) return d;
    }
    return -1;
}

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
    LineSend(&sim->line, baud, reply.data(), reply.size());
}

void DumpMemory(Sim* sim, int device) {
    if (sim->memoryPath.empty() || !sim->enabled[device]) return;
    int listed = 0;
    for (int d = 0; d < kDeviceCount; ++d) listed += sim->enabled[d] ? 1 : 0;
    std::string path = sim->memoryPath;
    if (listed > 1) path += std::string(".") + DeviceName(device);
    bool ok = false;
    switch (device) {
        case kDeviceT62: ok = T62Dump(&sim->t62, path.c_str()); break;
        case kDevicePsoc: ok = PsocDump(&sim->psoc, path.c_str()); break;
        case kDeviceKeyer: ok = KeyerDump(&sim->keyer, path.c_str()); break;
        default: break;
    }
    if (!ok) std::fprintf(stderr, "devsim: cannot write %s\n", path.c_str());
}

void InstallStopSignals() {
    // The stop signals stay blocked except while waiting for the line, so
    // a command in hand is always finished before the simulator stops.
    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGTERM);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGHUP);
    sigaddset(&stopSignals, SIGUSR1);
    sigaddset(&stopSignals, SIGUSR2);
    sigprocmask(SIG_BLOCK, &stopSignals, &waitMask);
    sigdelset(&waitMask, SIGTERM);
    sigdelset(&waitMask, SIGINT);
    sigdelset(&waitMask, SIGHUP);
    sigdelset(&waitMask, SIGUSR1);
    sigdelset(&waitMask, SIGUSR2);
    struct sigaction sa = {};
    sa.sa_handler = OnStopSignal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGHUP, &sa, nullptr);
    sa.sa_handler = OnPowerCycleSignal;
    sigaction(SIGUSR1, &sa, nullptr);
    sa.sa_handler = OnDumpSignal;
    sigaction(SIGUSR2, &sa, nullptr);
}

int Serve(Sim* sim) {
    uint8_t chunk[4096];
    int code = 0;
    while (!stopRequested) {
        int64_t deadline = NextDeadlineNs(sim);
        timespec wait = {1, 0};
        if (deadline) {
            int64_t left = deadline - MonotonicNs();
            if (left < 0) left = 0;
            wait.tv_sec = static_cast<time_t>(left / 1000000000);
            wait.tv_nsec = static_cast<long>(left % 1000000000);
        }
        // An unplugged line has nothing to wait for but its time.
        bool plugged = sim->lineBackNs == 0;
        pollfd p = {sim->line.master, POLLIN, 0};
        int ready = ppoll(plugged ? &p : nullptr, plugged ? 1 : 0, &wait, &waitMask);
        if (ready < 0 && errno != EINTR) {
            std::perror("devsim: ppoll");
            break;
        }
        if (ready > 0 && (p.revents & POLLIN)) {
            ssize_t n = read(sim->line.master, chunk, sizeof chunk);
            if (n > 0) {
                // The bytes were sent at the speed the line has now.
                int64_t readNs = MonotonicNs();
                uint32_t baud = LineBaud(&sim->line);
                for (ssize_t i = 0; i < n; ++i) {
                    int64_t at = LineTakeByte(&sim->line, readNs, baud);
                    Dispatch(sim, chunk[i], baud, at);
                    if (TakePendingOutage(sim)) break;
                }
                TranscriptFlush(&sim->transcript);
            }
        } else if (ready > 0) {
            // Nothing to read but an event: do not spin on it.
            usleep(10000);
        }
        if (sim->enabled[kDevicePsoc]) PsocTick(sim, MonotonicNs());
        FloodTick(sim, MonotonicNs());
        TakePendingOutage(sim);  // set off by a command PsocTick settled
        if (powerCycleRequested) {
            powerCycleRequested = 0;
            for (int d = 0; d < kDeviceCount; ++d) {
                if (sim->enabled[d]) PowerLoss(sim, d, 0);
            }
        }
        if (dumpRequested) {
            dumpRequested = 0;
            const KeyerDevice* k = &sim->keyer;
            if (sim->enabled[kDeviceKeyer] && !k->loader) TranscriptNote(&sim->transcript, "keyer state: O/S at %u", k->baud);
            if (sim->enabled[kDeviceKeyer] && k->loader) {
                TranscriptNote(&sim->transcript, "keyer state: loader at %u, O/S %s", k->baud,
                               k->osErased || k->variant == kKeyerNone ? "gone" : "whole");
            }
            for (int d = 0; d < kDeviceCount; ++d) DumpMemory(sim, d);
            TranscriptNote(&sim->transcript, "memory written");
        }
        PowerTick(sim, MonotonicNs());
        if (sim->lineBackNs != 0 && !ReplugLine(sim, MonotonicNs())) {
            std::fprintf(stderr, "devsim: cannot link the line again\n");
            code = 1;
            break;
        }
    }
    FloodStop(sim);
    NoteCommandCounts(sim);
    TranscriptNote(&sim->transcript, "stop");
    for (int d = 0; d < kDeviceCount; ++d) DumpMemory(sim, d);
    return code;
}
