// The line's dispatcher: each byte from the host goes to the device that
// listens at the speed the line is at, or nowhere.
#include "tools/devsim/serve.h"

#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>

#include "tools/devsim/device_state.h"
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

// Waits until the host sends, a device has something to settle or a signal
// comes in. Returns what ppoll returns; p tells whether the line is readable.
int WaitForLine(const Sim* sim, pollfd* p) {
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
    *p = {sim->line.master, POLLIN, 0};
    return ppoll(plugged ? p : nullptr, plugged ? 1 : 0, &wait, &waitMask);
}

// Hands what the host sent to the devices, each byte at the time it took
// on the wire. An outage one of them sets off loses the rest.
void TakeHostBytes(Sim* sim) {
    uint8_t chunk[4096];
    ssize_t n = read(sim->line.master, chunk, sizeof chunk);
    if (n <= 0) return;
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

// What the devices settle on their own once their time is up.
void SettleDevices(Sim* sim) {
    if (sim->enabled[kDevicePsoc]) PsocTick(sim, MonotonicNs());
    FloodTick(sim, MonotonicNs());
    TakePendingOutage(sim);  // set off by a command PsocTick settled
}

void NoteKeyerState(Sim* sim) {
    const KeyerDevice* k = &sim->keyer;
    if (!sim->enabled[kDeviceKeyer]) return;
    if (!k->loader) {
        TranscriptNote(&sim->transcript, "keyer state: O/S at %u", k->baud);
    } else {
        TranscriptNote(&sim->transcript, "keyer state: loader at %u, O/S %s", k->baud,
                       k->osErased || k->variant == kKeyerNone ? "gone" : "whole");
    }
}

// Carries out a power cycle (SIGUSR1) or a memory dump (SIGUSR2) asked for
// since the last round.
void TakeSignalRequests(Sim* sim) {
    if (powerCycleRequested) {
        powerCycleRequested = 0;
        for (int d = 0; d < kDeviceCount; ++d) {
            if (sim->enabled[d]) PowerLoss(sim, d, 0);
        }
    }
    if (dumpRequested) {
        dumpRequested = 0;
        NoteKeyerState(sim);
        for (int d = 0; d < kDeviceCount; ++d) DumpMemory(sim, d);
        TranscriptNote(&sim->transcript, "memory written");
    }
}

}  // namespace

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
    int code = 0;
    while (!stopRequested) {
        pollfd p = {};
        int ready = WaitForLine(sim, &p);
        if (ready < 0 && errno != EINTR) {
            std::perror("devsim: ppoll");
            break;
        }
        if (ready > 0 && (p.revents & POLLIN)) {
            TakeHostBytes(sim);
        } else if (ready > 0) {
            // Nothing to read but an event: do not spin on it.
            usleep(10000);
        }
        SettleDevices(sim);
        TakeSignalRequests(sim);
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
