#include "uploader/held_replies.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "core/platform.h"

namespace {

double Middle(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) / 2];
}

// Whether ms is a whole number of ticks, give or take kSameTickMs.
bool OnTicks(double ms, double tick) {
    double ticks = std::round(ms / tick);
    return ticks >= 1 && std::fabs(ms - ticks * tick) <= kSameTickMs;
}

// How late the machine wakes the program now: the middle one of how much
// a few sleeps of 1 ms overran, in ms. Where that is more than kBusyWakeMs,
// the device and the line's other programs wake as late, every reply may
// come late by the machine's own doing, and the turn-around tells nothing.
double WakeLateMs() {
    double late[7];
    for (double& each : late) {
        double start = TurnAroundClock();
        PlatformSleep(1);
        each = (TurnAroundClock() - start) * 1000 - 1;
    }
    std::sort(late, late + 7);
    return late[3];
}

}  // namespace

HeldReplies HeldRepliesOf(const TurnAround& timed) {
    HeldReplies held;
    std::vector<double> atOnce, heldSpacings;
    for (int i = 1; i + 1 < timed.exchanges && held.pairs < kTimedPairs; i += 2, ++held.pairs) {
        const TimedExchange &before = timed.each[i - 1], &first = timed.each[i], &second = timed.each[i + 1];
        held.spacingMs[held.pairs][0] = (first.came - before.came) * 1000;
        held.spacingMs[held.pairs][1] = (second.came - first.came) * 1000;
        atOnce.push_back(first.extraMs);
        if (first.extraMs >= kHeldReplyMs) heldSpacings.push_back(held.spacingMs[held.pairs][0]);
    }
    if (atOnce.empty()) return held;
    held.atOnceMs = Middle(atOnce);
    if (heldSpacings.empty()) return held;
    // The tick: of the spacings of the replies asked for at once that came
    // late, the one that the most pairs show. A machine slow to ask puts a
    // reply a tick or two further on, and one slow to read it shifts its
    // time a little, never a reply between ticks.
    for (double tick : heldSpacings) {
        if (tick < kLeastTickMs) continue;
        int showing = 0;
        for (int i = 0; i < held.pairs; ++i)
            showing += atOnce[i] >= kHeldReplyMs && OnTicks(held.spacingMs[i][0], tick) &&
                       OnTicks(held.spacingMs[i][1], tick);
        if (showing > held.showing) held.showing = showing, held.tickMs = tick;
    }
    return held;
}

HeldReplies SteppedRepliesOf(const TurnAround& timed) {
    HeldReplies held;
    double ticks[kStepRounds] = {};
    for (int r = 0; r < kStepRounds && 1 + (r + 1) * kSteps <= timed.exchanges; ++r, ++held.rounds) {
        double* spacing = held.stepSpacingMs[r];
        for (int k = 0; k < kSteps; ++k) {
            int i = 1 + r * kSteps + k;
            spacing[k] = (timed.each[i].came - timed.each[i - 1].came) * 1000;
        }
        // The round's tick: its greatest step, which each of the others
        // must match or not be at all.
        double tick = 0;
        for (int k = 1; k < kSteps; ++k) tick = std::max(tick, spacing[k] - spacing[k - 1]);
        bool onTicks = tick >= kLeastTickMs;
        for (int k = 0; onTicks && k < kSteps; ++k) {
            double step = k == 0 ? 0 : spacing[k] - spacing[k - 1];
            onTicks = (std::fabs(step) <= kSameTickMs || std::fabs(step - tick) <= kSameTickMs) &&
                      OnTicks(spacing[k], tick);
        }
        ticks[r] = onTicks ? tick : 0;
    }
    for (int r = 0; r < held.rounds; ++r) {
        if (ticks[r] == 0) continue;
        int showing = 0;
        for (int other = 0; other < held.rounds; ++other)
            showing += ticks[other] != 0 && std::fabs(ticks[other] - ticks[r]) <= kSameTickMs;
        if (showing > held.showing) held.showing = showing, held.tickMs = ticks[r];
    }
    return held;
}

int HeldReplyTimerMs(double tickMs) {
    if (std::fabs(tickMs - 16) <= kSameTickMs) return 16;
    return static_cast<int>(std::lround(tickMs));
}

ProbeTiming TimeProbeReplies(const TargetRow& row) {
    ProbeTiming timing;
    timing.wokenLateMs = WakeLateMs();
    if (timing.wokenLateMs > kBusyWakeMs) return timing;
    if (row.askTimed != nullptr) {
        timing.told = true;
        TurnAroundForget();
        bool answered = row.askTimed();
        for (int r = 0; r < kStepRounds && answered; ++r)
            for (int k = 0; k < kSteps && answered; ++k) {
                if (k > 0) PlatformSleep(k * kStepMs);
                answered = row.askTimed();
            }
        timing.held = SteppedRepliesOf(TurnAroundSoFar());
        return timing;
    }
    if (row.prepareProbes) return timing;
    timing.told = true;
    TurnAroundForget();
    TargetProbeLines again;
    row.identify(&again);
    for (int i = 0; i < kTimedPairs && again.connected; ++i) {
        row.identify(&again);
        if (!again.connected) break;
        PlatformSleep(kAskLaterMs);
        row.identify(&again);
    }
    timing.held = HeldRepliesOf(TurnAroundSoFar());
    return timing;
}

std::string ProbeTimingFigures(const ProbeTiming& timing) {
    char text[600];
    if (!timing.told) {
        std::snprintf(text, sizeof text, "probe turn-around: woken %.2f ms late, too busy to tell an adapter's hold",
                      timing.wokenLateMs);
        return text;
    }
    const HeldReplies& held = timing.held;
    std::string spacings;
    if (held.rounds > 0) {
        for (int r = 0; r < held.rounds; ++r) {
            spacings += r == 0 ? " " : ", ";
            for (int k = 0; k < kSteps; ++k) {
                char one[16];
                std::snprintf(one, sizeof one, "%s%.2f", k == 0 ? "" : "/", held.stepSpacingMs[r][k]);
                spacings += one;
            }
        }
        std::snprintf(text, sizeof text,
                      "probe turn-around: %d rounds, %d showing an adapter: ms from reply to reply, asked for 0 to "
                      "%d ms later:%s; tick %.2f ms; woken %.2f ms late",
                      held.rounds, held.showing, (kSteps - 1) * kStepMs, spacings.c_str(), held.tickMs,
                      timing.wokenLateMs);
        return text;
    }
    for (int i = 0; i < held.pairs; ++i) {
        char pair[40];
        std::snprintf(pair, sizeof pair, " %.2f/%.2f", held.spacingMs[i][0], held.spacingMs[i][1]);
        spacings += pair;
    }
    std::snprintf(text, sizeof text,
                  "probe turn-around: %d pairs, %d showing an adapter: asked for at once %.2f ms beyond their bytes' "
                  "time on the line; ms from reply to reply:%s; tick %.2f ms; woken %.2f ms late",
                  held.pairs, held.showing, held.atOnceMs, spacings.c_str(), held.tickMs, timing.wokenLateMs);
    return text;
}

std::string SetTimerAdvice(AdapterSystem system, const std::string& device) {
    switch (system) {
        case kAdapterWindows:
            return "Where the adapter's driver has a latency setting (Device Manager, \"Ports (COM & LPT)\", the "
                   "adapter's port, Properties, \"Port Settings\", \"Advanced...\"), set it to 1 ms.";
        case kAdapterMac:
            return "On macOS the timer is the adapter's driver's: where the driver has a latency setting, set it to "
                   "1 ms; an adapter of another make may have no such setting.";
        case kAdapterLinux:
            break;
    }
    return "An FTDI adapter's timer is set to 1 ms by: echo 1 | sudo tee /sys/bus/usb-serial/devices/" +
           (device.empty() ? std::string("ttyUSBn") : device) +
           "/latency_timer; an adapter of another make may have no such setting, and one whose driver takes low "
           "latency is faster.";
}

std::string HeldRepliesNote(const TargetRow& row, const std::string& port, const HeldReplies& held,
                            AdapterSystem system, const std::string& device) {
    const int needed = held.rounds > 0 ? static_cast<int>(kShowingRounds) : static_cast<int>(kShowingPairs);
    if (held.showing < needed) return "";
    int timerMs = HeldReplyTimerMs(held.tickMs);
    double slow = TargetRunSeconds(row, timerMs), fast = TargetRunSeconds(row, 1);
    if (fast <= 0) return "";
    char text[600];
    if (held.rounds > 0) {
        std::snprintf(text, sizeof text,
                      "the probe's replies on %s came on the ticks of a timer %.0f ms apart (asked for up to %d ms "
                      "later, they came on the same ticks): the USB serial adapter holds what it receives until its "
                      "latency timer runs out (%s%d ms%s). Held so at every exchange, this update takes about %.1f s "
                      "on the line instead of %.1f s at 1 ms (about %.1f x). ",
                      port.c_str(), held.tickMs, (kSteps - 1) * kStepMs, timerMs == 16 ? "" : "about ", timerMs,
                      timerMs == 16 ? " on an FTDI chip unless set lower" : "", slow, fast, slow / fast);
        return text + SetTimerAdvice(system, device);
    }
    std::snprintf(text, sizeof text,
                  "the probe's replies on %s came %.0f ms later than their bytes take on the line, on the ticks "
                  "of a timer (asked for %d ms later, they came no later): the USB serial adapter holds what it "
                  "receives until its latency timer runs out (%s%d ms%s). Held so at every exchange, this update "
                  "takes about %.1f s on the line instead of %.1f s at 1 ms (about %.1f x). ",
                  port.c_str(), held.atOnceMs, static_cast<int>(kAskLaterMs), timerMs == 16 ? "" : "about ", timerMs,
                  timerMs == 16 ? " on an FTDI chip unless set lower" : "", slow, fast, slow / fast);
    return text + SetTimerAdvice(system, device);
}
