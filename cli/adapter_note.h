// The word before an update (or a station) on a port whose USB adapter
// holds each reply up to a latency timer above 1 ms: what that costs the
// update, and where the timer is set.
#pragma once
#include <string>

#include "serial/turn_around.h"
#include "uploader/target_table.h"

// The note for an update by row of the image loaded now on port, behind an
// adapter whose latency timer is latencyMs: "" for 1 ms or less, or a
// timer the system does not tell (below 0).
std::string AdapterLatencyNote(const TargetRow& row, const std::string& port, int latencyMs);

// Says AdapterLatencyNote for port's adapter (serial/port_list.h) on
// standard error, unless --quiet.
void TellAdapterLatency(const TargetRow& row, const std::string& port);

// Where the system keeps no latency timer for the port's adapter: the
// probe's exchanges, timed (serial/turn_around.h). When every reply after
// the first came back kHeldReplyMs or more beyond its bytes' time on the
// line, an adapter held them; a busy machine or a slow device delays one
// reply now and then, not each of them. A target whose probe is one
// exchange (the T62, the PSoC) makes its identify kTimedIdentifies times
// more, back to back, for the timing.
constexpr double kHeldReplyMs = 5.0;
enum { kTimedIdentifies = 5 };
// A machine that wakes this program kBusyWakeMs late or more each time (so
// busy that its own delays could pass for an adapter's) gets no note.
constexpr double kBusyWakeMs = 1.5;

// The timer that replies held heldMs each (the least of them) show: an FTDI
// chip's default of 16 ms, unless they were held longer. A reply sent as
// soon as the one before came waits the timer less the exchange's time.
int HeldReplyTimerMs(double heldMs);

// The note for an update by row on port whose probe timed as timed says:
// "" when the replies after the first were not all held kHeldReplyMs or
// more.
std::string ProbedLatencyNote(const TargetRow& row, const std::string& port, const TurnAround& timed);

// After a probe on port that found row's target: unless the system told
// the adapter's timer, or the machine is too busy for the turn-around to
// tell, times the probe's exchanges (for a one-exchange probe, the
// identifies above) and says ProbedLatencyNote on standard error, unless
// --quiet. The line log gets the figures in any case.
void TellProbedLatency(const TargetRow& row, const std::string& port);
