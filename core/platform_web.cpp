// The page has no threads: a sleep is an awaited timer, and the worker runs
// as the page's one task in the background, suspended at every wait on the
// line (Asyncify), while the page goes on drawing and ticking.
#include <emscripten.h>

#include "core/platform.h"

namespace {
void (*startedEntry)() = nullptr;
}  // namespace

void PlatformSleep(uint32_t ms) { emscripten_sleep(ms); }

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
