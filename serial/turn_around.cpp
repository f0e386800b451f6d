#include "serial/turn_around.h"

#include <algorithm>
#include <atomic>
#include <chrono>

#include "serial/line_time.h"

namespace {
// The probes make four exchanges at most; a program that never forgets
// (the dialogs, which only note) keeps the first few.
enum { kKept = 16 };
double extraMs[kKept];
std::atomic<int> noted{0};
}  // namespace

double TurnAroundClock() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void TurnAroundNote(uint32_t baud, uint32_t bytesOnLine, double startedAt) {
    if (baud == 0 || noted.load() >= kKept) return;
    int slot = noted++;
    if (slot < kKept) extraMs[slot] = (TurnAroundClock() - startedAt - LineSeconds(bytesOnLine, baud)) * 1000;
}

void TurnAroundForget() { noted = 0; }

TurnAround TurnAroundSoFar() {
    TurnAround timed;
    timed.exchanges = std::min(noted.load(), static_cast<int>(kKept));
    if (timed.exchanges == 0) return timed;
    timed.firstExtraMs = timed.mostExtraMs = extraMs[0];
    for (int i = 1; i < timed.exchanges; ++i) {
        if (i == 1 || extraMs[i] < timed.laterLeastMs) timed.laterLeastMs = extraMs[i];
        timed.mostExtraMs = std::max(timed.mostExtraMs, extraMs[i]);
    }
    return timed;
}
