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

// Where the system keeps no latency timer for the port's adapter, the
// update times identifies of the probe's (serial/turn_around.h), asked
// for in pairs: one at once after the reply before, one kAskLaterMs later.
// An adapter's timer ticks on its own, and a reply waits for its next
// tick: asked for at once or a little later, it comes one tick after the
// reply before (two, where the machine was slow to ask). A slow device, or
// a machine busy elsewhere, delays a reply by chance, and one asked for
// later comes later by as much. So a pair shows an adapter when its first
// reply came kHeldReplyMs or more beyond its bytes' time on the line, and
// both its replies a whole number of ticks after the reply before, give or
// take kSameTickMs; kShowingPairs of the kTimedPairs must show it. A tick
// of kLeastTickMs or more keeps a reply asked for later off the next tick.
constexpr double kHeldReplyMs = 5.0;
constexpr double kSameTickMs = 2.5;
constexpr double kLeastTickMs = 12.0;
enum { kTimedPairs = 6, kShowingPairs = 3, kAskLaterMs = 6 };
// A machine that wakes this program more than kBusyWakeMs late as a rule
// (so busy that its own delays could pass for an adapter's) gets no note.
constexpr double kBusyWakeMs = 1.0;

// What the pairs showed: how many ms beyond their bytes' time on the line
// the replies asked for at once came (the middle one of them), the tick
// their spacings show, how many pairs show it, and each pair's two
// spacings (ms from the reply before to its first reply, and from that to
// its second), for the log.
struct HeldReplies {
    int pairs = 0;
    int showing = 0;
    double atOnceMs = 0;
    double tickMs = 0;
    double spacingMs[kTimedPairs][2] = {};
};

// The pairs of timed: its first exchange (which meets the timer anywhere)
// left out, then at once, later, at once, later, ...
HeldReplies HeldRepliesOf(const TurnAround& timed);

// The timer whose ticks came tickMs apart: an FTDI chip's default of 16 ms
// where they were that, give or take kSameTickMs.
int HeldReplyTimerMs(double tickMs);

// The note for an update by row on port whose pairs showed held: "" when
// they show no adapter's hold.
std::string ProbedLatencyNote(const TargetRow& row, const std::string& port, const HeldReplies& held);

// After a probe on port that found row's target (one whose probe is one
// identify: the T62, the PSoC): unless --quiet (a bench's and a station's
// workers are), the system told the adapter's timer, or the machine is
// too busy for the turn-around to tell, times kTimedPairs pairs of
// identifies (which change nothing on the device), says ProbedLatencyNote
// on standard error and puts the figures in the line log.
void TellProbedLatency(const TargetRow& row, const std::string& port);
