// The word before an update (or a station) on a port whose USB adapter
// holds each reply up to a latency timer above 1 ms: what that costs the
// update, and where the timer is set.
#pragma once
#include <string>

#include "uploader/held_replies.h"
#include "uploader/target_table.h"

// The note for an update by row of the image loaded now on port, behind an
// adapter whose latency timer is latencyMs: "" for 1 ms or less, or a
// timer the system does not tell (below 0).
std::string AdapterLatencyNote(const TargetRow& row, const std::string& port, int latencyMs);

// Says AdapterLatencyNote for port's adapter (serial/port_list.h) on
// standard error, unless --quiet.
void TellAdapterLatency(const TargetRow& row, const std::string& port);

// The note for an update by row on port whose pairs showed held
// (uploader/held_replies.h), for this system: "" when they show no
// adapter's hold.
std::string ProbedLatencyNote(const TargetRow& row, const std::string& port, const HeldReplies& held);

// After a probe on port that found row's target (one whose probe is one
// identify: the T62, the PSoC): unless --quiet (a bench's and a station's
// workers are) or the system told the adapter's timer, times the probe's
// replies (TimeProbeReplies), says ProbedLatencyNote on standard error and
// puts the figures in the line log.
void TellProbedLatency(const TargetRow& row, const std::string& port);
