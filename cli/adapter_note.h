// The word before an update (or a station) on a port whose USB adapter
// holds each reply up to a latency timer above 1 ms: what that costs the
// update, and where the timer is set.
#pragma once
#include <string>

#include "uploader/target_table.h"

// The note for an update by row of the image loaded now on port, behind an
// adapter whose latency timer is latencyMs: "" for 1 ms or less, or a
// timer the system does not tell (below 0).
std::string AdapterLatencyNote(const TargetRow& row, const std::string& port, int latencyMs);

// Says AdapterLatencyNote for port's adapter (serial/port_list.h) on
// standard error, unless --quiet.
void TellAdapterLatency(const TargetRow& row, const std::string& port);
