// The probe's exchanges, timed: how much later each reply came back than
// its bytes take on the line. A USB serial adapter that holds what it
// receives until its latency timer runs out shows here, where the system
// has no setting to tell (another make of adapter, a system whose driver
// does not say, the page). The probes note their exchanges; a front end
// forgets what was noted before it times a probe and asks after it.
#pragma once
#include <cstdint>

// Seconds on a steady clock: when an exchange's request began to go out.
double TurnAroundClock();

// An exchange at baud whose request began to go out at startedAt and whose
// reply's last byte has just come, with bytesOnLine bytes both ways.
void TurnAroundNote(uint32_t baud, uint32_t bytesOnLine, double startedAt);

// Forgets the exchanges noted so far.
void TurnAroundForget();

// The exchanges noted since TurnAroundForget, in order (the first
// kTurnAroundKept of them).
enum { kTurnAroundKept = 48 };
struct TimedExchange {
    double started;  // TurnAroundClock() when its request began to go out
    double came;     // and when its reply had come
    double extraMs;  // came - started beyond the bytes' time on the line, in ms
};
struct TurnAround {
    int exchanges = 0;
    TimedExchange each[kTurnAroundKept];
};
TurnAround TurnAroundSoFar();
