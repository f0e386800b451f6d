#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "core/platform.h"

void PlatformSleep(uint32_t ms) {
    // A yield would hand a busy machine's processor to another program
    // for a whole time slice; a sleep this short wakes on time.
    if (ms == 0) {
        std::this_thread::sleep_for(std::chrono::microseconds(100));
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void PlatformGiveWayWithin(uint32_t) { PlatformSleep(0); }

int PlatformStartThread(void (*entry)()) {
    try {
        std::thread(entry).detach();
    } catch (...) {
        return 0;
    }
    return 1;
}

int PlatformSameFile(const char* a, const char* b) {
    struct stat sa, sb;
    if (stat(a, &sa) != 0 || stat(b, &sb) != 0) return 0;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

int PlatformReplaceFile(const char* from, const char* to) { return std::rename(from, to) == 0 ? 1 : 0; }
