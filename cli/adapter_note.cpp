#include "cli/adapter_note.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>

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

// How late the machine wakes this program now: the least that a few sleeps
// of 1 ms overran, in ms. Where even that is more than kBusyWakeMs, every
// reply may come late by the machine's own doing, and the turn-around
// tells nothing.
double WakeLateMs() {
    double least = 0;
    for (int i = 0; i < 5; ++i) {
        double start = TurnAroundClock();
        PlatformSleep(1);
        double late = (TurnAroundClock() - start) * 1000 - 1;
        if (i == 0 || late < least) least = late;
    }
    return least;
}

}  // namespace

int HeldReplyTimerMs(double heldMs) {
    int atLeast = static_cast<int>(std::ceil(heldMs));
    return atLeast > 16 ? atLeast : 16;
}

std::string ProbedLatencyNote(const TargetRow& row, const std::string& port, const TurnAround& timed) {
    if (timed.exchanges < 2 || timed.laterLeastMs < kHeldReplyMs) return "";
    int timerMs = HeldReplyTimerMs(timed.laterLeastMs);
    double slow = TargetRunSeconds(row, timerMs), fast = TargetRunSeconds(row, 1);
    if (fast <= 0) return "";
    char text[512];
    std::snprintf(text, sizeof text,
                  "%s: the probe's replies on %s came %.0f ms or more later than their bytes take on the line: the "
                  "USB serial adapter holds what it receives up to a latency timer (%s%d ms%s). Held so at every "
                  "exchange, this update takes about %.1f s on the line instead of %.1f s at 1 ms (about %.1f x). ",
                  kCliName, port.c_str(), std::floor(timed.laterLeastMs), timerMs == 16 ? "" : "at least ", timerMs,
                  timerMs == 16 ? " on an FTDI chip unless set lower" : "", slow, fast, slow / fast);
    return text + SetTimerAdvice(port);
}

void TellProbedLatency(const TargetRow& row, const std::string& port) {
    if (AdapterOfPort(port).latencyMs >= 0) return;
    double late = WakeLateMs();
    if (late > kBusyWakeMs) {
        LineLogNote("probe turn-around: woken at least %.2f ms late, too busy to tell an adapter's hold", late);
        return;
    }
    // A probe of one exchange asks again, back to back: the identify
    // changes nothing on the device.
    if (!row.prepareProbes) {
        TurnAroundForget();
        for (int i = 0; i < kTimedIdentifies; ++i) {
            TargetProbeLines again;
            row.identify(&again);
            if (!again.connected) break;
        }
    }
    TurnAround timed = TurnAroundSoFar();
    LineLogNote("probe turn-around: %d exchanges beyond their bytes' time on the line: the first %.2f ms, the least "
                "after it %.2f ms, the most %.2f ms; woken at least %.2f ms late",
                timed.exchanges, timed.firstExtraMs, timed.laterLeastMs, timed.mostExtraMs, late);
    if (OutputQuiet()) return;
    std::string note = ProbedLatencyNote(row, port, timed);
    if (!note.empty()) Complain("%s", note.c_str());
}
