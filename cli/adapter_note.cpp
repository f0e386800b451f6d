#include "cli/adapter_note.h"

#include <cstdio>
#include <filesystem>

#include "cli/console.h"
#include "cli/output.h"
#include "cli/station_adapter.h"
#include "core/line_log.h"
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

// The user's system, for where the adapter's timer is set.
AdapterSystem ThisSystem() {
#if defined(_WIN32)
    return kAdapterWindows;
#elif defined(__APPLE__)
    return kAdapterMac;
#else
    return kAdapterLinux;
#endif
}

// The adapter's tty behind port ("ttyUSB0"), "" when it is none.
std::string AdapterTty(const std::string& port) {
    std::error_code error;
    std::string tty = std::filesystem::canonical(port, error).filename().string();
    return error || tty.rfind("ttyUSB", 0) != 0 ? "" : tty;
}

}  // namespace

std::string ProbedLatencyNote(const TargetRow& row, const std::string& port, const HeldReplies& held) {
    std::string note = HeldRepliesNote(row, port, held, ThisSystem(), AdapterTty(port));
    return note.empty() ? note : std::string(kCliName) + ": " + note;
}

void TellProbedLatency(const TargetRow& row, const std::string& port) {
    // Nobody to tell (--quiet, a bench's or a station's worker): nothing to time.
    if (OutputQuiet() || AdapterOfPort(port).latencyMs >= 0) return;
    ProbeTiming timing = TimeProbeReplies(row);
    LineLogNote("%s", ProbeTimingFigures(timing).c_str());
    if (!timing.told) return;
    std::string note = ProbedLatencyNote(row, port, timing.held);
    if (!note.empty()) Complain("%s", note.c_str());
}
