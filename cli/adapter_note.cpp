#include "cli/adapter_note.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "cli/console.h"
#include "cli/output.h"
#include "cli/station_adapter.h"
#include "core/line_log.h"
#include "core/platform.h"
#include "uploader/target_table.h"

std::string AdapterLatencyNote(const TargetRow& row, const std::string& port, int latencyMs) {
    if (latencyMs <= 1) return "";
    double slow = TargetRunSeconds(row, latencyMs), fast = TargetRunSeconds(row, 1);
    if (fast <= 0) return "";
    char text[512];
    std::snprintf(text, sizeof text,
                  "%s: the adapter of %s holds each reply up to its latency timer, %d ms: this update takes about "
                  "%.1f s on the line instead of %.1f s at 1 ms (about %.1f x). To set it to 1 ms: Device Manager, "
                  "\"Ports (COM & LPT)\", the adapter's port, Properties, \"Port Settings\", \"Advanced...\", "
                  "\"Latency Timer (msec)\": 1, OK.",
                  kCliName, port.c_str(), latencyMs, slow, fast, slow / fast);
    return text;
}

void TellAdapterLatency(const TargetRow& row, const std::string& port) {
    if (OutputQuiet()) return;
    std::string note = AdapterLatencyNote(row, port, AdapterOfPort(port).latencyMs);
    if (!note.empty()) Complain("%s", note.c_str());
}

namespace {

// How to put the timer at 1 ms where the probe showed it.
std::string SetTimerAdvice(const std::string& port) {
#if defined(_WIN32)
    (void)port;
    return "Where the adapter's driver has a latency setting (Device Manager, \"Ports (COM & LPT)\", the adapter's "
           "port, Properties, \"Port Settings\", \"Advanced...\"), set it to 1 ms.";
#else
    std::error_code error;
    std::string tty = std::filesystem::canonical(port, error).filename().string();
    if (error || tty.rfind("ttyUSB", 0) != 0) tty = "ttyUSBn";
    return "An FTDI adapter's timer is set to 1 ms by: echo 1 | sudo tee /sys/bus/usb-serial/devices/" + tty +
           "/latency_timer; an adapter of another make may have no such setting, and one whose driver takes "
           "low latency is faster.";
#endif
}

// How late the machine wakes this program now: the middle one of how much
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

static double Middle(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) / 2];
}

namespace {

// Whether ms is a whole number of ticks, give or take kSameTickMs.
bool OnTicks(double ms, double tick) {
    double ticks = std::round(ms / tick);
    return ticks >= 1 && std::fabs(ms - ticks * tick) <= kSameTickMs;
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

int HeldReplyTimerMs(double tickMs) {
    if (std::fabs(tickMs - 16) <= kSameTickMs) return 16;
    return static_cast<int>(std::lround(tickMs));
}

std::string ProbedLatencyNote(const TargetRow& row, const std::string& port, const HeldReplies& held) {
    if (held.showing < kShowingPairs) return "";
    int timerMs = HeldReplyTimerMs(held.tickMs);
    double slow = TargetRunSeconds(row, timerMs), fast = TargetRunSeconds(row, 1);
    if (fast <= 0) return "";
    char text[600];
    std::snprintf(text, sizeof text,
                  "%s: the probe's replies on %s came %.0f ms later than their bytes take on the line, on the ticks "
                  "of a timer (asked for %d ms later, they came no later): the USB serial adapter holds what it receives until its latency timer "
                  "runs out (%s%d ms%s). Held so at every exchange, this update takes about %.1f s on the line instead "
                  "of %.1f s at 1 ms (about %.1f x). ",
                  kCliName, port.c_str(), held.atOnceMs, static_cast<int>(kAskLaterMs),
                  timerMs == 16 ? "" : "about ", timerMs, timerMs == 16 ? " on an FTDI chip unless set lower" : "",
                  slow, fast, slow / fast);
    return text + SetTimerAdvice(port);
}

void TellProbedLatency(const TargetRow& row, const std::string& port) {
    // Nobody to tell (--quiet, a bench's or a station's worker): nothing to time.
    if (row.prepareProbes || OutputQuiet() || AdapterOfPort(port).latencyMs >= 0) return;
    double late = WakeLateMs();
    if (late > kBusyWakeMs) {
        LineLogNote("probe turn-around: woken %.2f ms late, too busy to tell an adapter's hold", late);
        return;
    }
    TurnAroundForget();
    TargetProbeLines again;
    row.identify(&again);
    for (int i = 0; i < kTimedPairs && again.connected; ++i) {
        row.identify(&again);
        if (!again.connected) break;
        PlatformSleep(kAskLaterMs);
        row.identify(&again);
    }
    HeldReplies held = HeldRepliesOf(TurnAroundSoFar());
    std::string spacings;
    for (int i = 0; i < held.pairs; ++i) {
        char pair[40];
        std::snprintf(pair, sizeof pair, " %.2f/%.2f", held.spacingMs[i][0], held.spacingMs[i][1]);
        spacings += pair;
    }
    LineLogNote("probe turn-around: %d pairs, %d showing an adapter: asked for at once %.2f ms beyond their bytes' "
                "time on the line; ms from reply to reply:%s; tick %.2f ms; woken %.2f ms late",
                held.pairs, held.showing, held.atOnceMs, spacings.c_str(), held.tickMs, late);
    std::string note = ProbedLatencyNote(row, port, held);
    if (!note.empty()) Complain("%s", note.c_str());
}
