// The page has no threads: a sleep is an awaited timer, and the worker runs
// as the page's one task in the background, suspended at every wait on the
// line (Asyncify), while the page goes on drawing and ticking.
#include <emscripten.h>

#include "core/platform.h"

namespace {
void (*startedEntry)() = nullptr;
}  // namespace

void PlatformSleep(uint32_t ms) { emscripten_sleep(ms); }

// One timer for the whole milliseconds left of the watch (a timer takes
// whole ones; rounded up, a 3.1 ms watch would wait 4), and one short turn
// for what a late timer has not already covered: the watch asks again after
// each and ends only once its time is up. A byte that comes meanwhile stays
// queued in port_web.js until it is read, so the ask after sees it: the
// watch ends with a count wherever asks all along would have found one (a
// larger one, when more came by then), and never misses a byte that came
// within it.
void PlatformGiveWayWithin(uint32_t micros) { emscripten_sleep(micros / 1000); }

int PlatformStartThread(void (*entry)()) {
    if (startedEntry != nullptr) return 0;
    startedEntry = entry;
    // The page calls PlatformRunStartedThread once the command that started
    // the worker has returned, as a thread of its own would start.
    EM_ASM({ Module.ridorezStartThread(); });
    return 1;
}

extern "C" EMSCRIPTEN_KEEPALIVE void PlatformRunStartedThread() {
    void (*entry)() = startedEntry;
    if (entry == nullptr) return;
    entry();
    startedEntry = nullptr;
}
