#include "serial/turn_around.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "serial/line_time.h"

namespace {
// A program that never forgets (the dialogs, which only note) keeps the
// first few.
TimedExchange noted[kTurnAroundKept];
std::atomic<int> count{0};
}  // namespace

double TurnAroundClock() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void TurnAroundNote(uint32_t baud, uint32_t bytesOnLine, double startedAt) {
    if (baud == 0 || count.load() >= kTurnAroundKept) return;
    double came = TurnAroundClock();
    int slot = count++;
    if (slot < kTurnAroundKept)
        noted[slot] = {startedAt, came, (came - startedAt - LineSeconds(bytesOnLine, baud)) * 1000};
}

void TurnAroundForget() { count = 0; }

TurnAround TurnAroundSoFar() {
    TurnAround timed;
    timed.exchanges = std::min(count.load(), static_cast<int>(kTurnAroundKept));
    std::copy(noted, noted + timed.exchanges, timed.each);
    return timed;
}
