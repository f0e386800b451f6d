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
// reply before. A slow device, or a machine busy elsewhere, delays a reply
// by chance, and one asked for later comes later by as much. So a pair
// shows an adapter when its first reply came kHeldReplyMs or more beyond
// its bytes' time on the line and its second came as long after the first
// as the first after the reply before it, give or take kAskLaterMs / 2.
// kShowingPairs of the kTimedPairs must show it, with one spacing (one
// timer), give or take kSameTickMs.
constexpr double kHeldReplyMs = 5.0;
constexpr double kSameTickMs = 1.5;
enum { kTimedPairs = 6, kShowingPairs = 3, kAskLaterMs = 6 };
// A machine that wakes this program more than kBusyWakeMs late as a rule
// (so busy that its own delays could pass for an adapter's) gets no note.
constexpr double kBusyWakeMs = 1.0;

// What the pairs showed: how many ms beyond their bytes' time on the line
// the replies asked for at once came (the middle one of them), how many
// pairs show one adapter's timer, and each pair's two spacings (ms from the reply
// before to its first reply, and from that to its second), for the log.
struct HeldReplies {
    int pairs = 0;
    int showing = 0;
    double atOnceMs = 0;
    double spacingMs[kTimedPairs][2] = {};
};

// The pairs of timed: its first exchange (which meets the timer anywhere)
// left out, then at once, later, at once, later, ...
HeldReplies HeldRepliesOf(const TurnAround& timed);

// The timer that replies asked for at once and held heldMs show: an FTDI
// chip's default of 16 ms, unless they were held longer.
int HeldReplyTimerMs(double heldMs);

// The note for an update by row on port whose pairs showed held: "" when
// they show no adapter's hold.
std::string ProbedLatencyNote(const TargetRow& row, const std::string& port, const HeldReplies& held);

// After a probe on port that found row's target (one whose probe is one
// identify: the T62, the PSoC): unless the system told the adapter's
// timer, or the machine is too busy for the turn-around to tell, times
// kTimedPairs pairs of identifies (which change nothing on the device) and
// says ProbedLatencyNote on standard error, unless --quiet. The line log
// gets the figures in any case.
void TellProbedLatency(const TargetRow& row, const std::string& port);
