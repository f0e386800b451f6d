// Whether a USB serial adapter holds the replies, told by the probe's
// timing where no system setting tells (an adapter the system keeps no
// latency timer for, the page), and what that costs the update: one rule
// and one note for every front end that times a probe.
//
// After a good probe of a target whose probe is one identify (the T62, the
// PSoC), the identify is asked again in pairs (serial/turn_around.h times
// each): one at once after the reply before, one kAskLaterMs later. An
// adapter's timer ticks on its own, and a reply waits for its next tick:
// asked for at once or a little later, it comes one tick after the reply
// before (two, where the machine was slow to ask). A slow device, or a
// machine busy elsewhere, delays a reply by chance, and one asked for later
// comes later by as much. So a pair shows an adapter when its first reply
// came kHeldReplyMs or more beyond its bytes' time on the line, and both its
// replies a whole number of ticks after the reply before, give or take
// kSameTickMs; kShowingPairs of the kTimedPairs must show it. A tick of
// kLeastTickMs or more keeps a reply asked for later off the next tick.
// The identifies change nothing on the device.
//
// Where an exchange's bytes take longer on the line than a tick (the ZQ3's
// echo test at 1200 baud: 33 ms), a reply asked for at once comes several
// ticks on, and how many says nothing of the tick. There the row's
// askTimed exchange is asked in kStepRounds rounds of kSteps, each asked
// kStepMs later after the reply before than the one before it: behind an
// adapter the replies stay on the ticks, so the spacing from reply to reply
// stays as it was or grows by a whole tick; on a plain line it grows by
// kStepMs each time. A round shows an adapter when every step is nought or
// one tick of kLeastTickMs or more, give or take kSameTickMs, at least one
// is a tick, and every spacing is a whole number of ticks; kShowingRounds
// rounds must show the same tick.
#pragma once
#include <string>

#include "serial/turn_around.h"
#include "uploader/target_table.h"

constexpr double kHeldReplyMs = 5.0;
constexpr double kSameTickMs = 2.5;
constexpr double kLeastTickMs = 12.0;
enum { kTimedPairs = 6, kShowingPairs = 3, kAskLaterMs = 6 };
enum { kStepRounds = 8, kSteps = 5, kStepMs = 5, kShowingRounds = 2 };
// A machine that wakes the program more than kBusyWakeMs late as a rule
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
    // Stepped (the rounds): how many, and the spacings of each.
    int rounds = 0;
    double stepSpacingMs[kStepRounds][kSteps] = {};
};

// The pairs of timed: its first exchange (which meets the timer anywhere)
// left out, then at once, later, at once, later, ...
HeldReplies HeldRepliesOf(const TurnAround& timed);

// The rounds of timed: its first exchange left out, then kSteps exchanges
// a round, each asked for kStepMs later than the one before.
HeldReplies SteppedRepliesOf(const TurnAround& timed);

// The timer whose ticks came tickMs apart: an FTDI chip's default of 16 ms
// where they were that, give or take kSameTickMs.
int HeldReplyTimerMs(double tickMs);

// A probe's replies timed: told false when the machine woke the program
// more than kBusyWakeMs late (wokenLateMs, the middle of a few sleeps of
// 1 ms), and then no identify was asked.
struct ProbeTiming {
    bool told = false;
    double wokenLateMs = 0;
    HeldReplies held;
};

// Right after a probe that found row's target, on the port it holds: the
// pairs of identifies, or the rounds of row.askTimed where the row has one.
// Not told either where the probe is many exchanges and the row has no
// exchange of its own to time.
ProbeTiming TimeProbeReplies(const TargetRow& row);

// The figures of timing, for a line log.
std::string ProbeTimingFigures(const ProbeTiming& timing);

// Where the adapter's timer is set, on the user's system; device is the
// adapter's tty on Linux ("ttyUSB0"; "" when not known).
enum AdapterSystem { kAdapterWindows, kAdapterLinux, kAdapterMac };
std::string SetTimerAdvice(AdapterSystem system, const std::string& device);

// The note for an update by row of the image loaded now, on port (as the
// user knows it), whose pairs showed held: "" when they show no adapter's
// hold. Begins in lower case, after the front end's own start.
std::string HeldRepliesNote(const TargetRow& row, const std::string& port, const HeldReplies& held,
                            AdapterSystem system, const std::string& device);
