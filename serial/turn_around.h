// The probe's exchanges, timed: how much later each reply came back than
// its bytes take on the line. A USB serial adapter that holds what it
// receives until its latency timer runs out shows here, where the system
// has no setting to tell (another make of adapter, a system whose driver
// does not say, the page). The probes note their exchanges; a front end
// forgets what was noted before a probe and asks after it.
#pragma once
#include <cstdint>

// Seconds on a steady clock: when an exchange's request began to go out.
double TurnAroundClock();

// An exchange at baud whose request began to go out at startedAt and whose
// reply's last byte has just come, with bytesOnLine bytes both ways.
void TurnAroundNote(uint32_t baud, uint32_t bytesOnLine, double startedAt);

// Forgets the exchanges noted so far.
void TurnAroundForget();

// Of the exchanges noted since TurnAroundForget: how many, and how many
// milliseconds beyond their bytes' time on the line their replies came.
// An adapter's timer runs on its own, so the first reply of a probe waits
// anything up to the whole timer, by chance; a reply to a request sent as
// soon as the one before came back waits the timer less the exchange's
// time, every time. A machine busy elsewhere, or a slow device, delays a
// reply now and then, not every one.
struct TurnAround {
    int exchanges = 0;
    double firstExtraMs = 0;   // the first exchange's
    double laterLeastMs = 0;   // the least of those after the first (0 when there are none)
    double mostExtraMs = 0;    // the most of any
};
TurnAround TurnAroundSoFar();
