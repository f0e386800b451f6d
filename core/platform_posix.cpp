#include <chrono>
#include <thread>

#include "core/platform.h"

void PlatformSleep(uint32_t ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

int PlatformStartThread(void (*entry)()) {
    try {
        std::thread(entry).detach();
    } catch (...) {
        return 0;
    }
    return 1;
}
