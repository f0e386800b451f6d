#include "cli/adapter_note.h"

#include <cstdio>

#include "cli/console.h"
#include "cli/output.h"
#include "cli/station_adapter.h"
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
