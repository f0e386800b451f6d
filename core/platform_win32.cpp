#include <windows.h>

#include "core/platform.h"

void PlatformSleep(uint32_t ms) { Sleep(ms); }

namespace {
DWORD WINAPI ThreadEntry(LPVOID param) {
    reinterpret_cast<void (*)()>(param)();
    return 0;
}
}  // namespace

int PlatformStartThread(void (*entry)()) {
    HANDLE thread = CreateThread(nullptr, 0, ThreadEntry, reinterpret_cast<LPVOID>(entry), 0, nullptr);
    if (thread == nullptr) return 0;
    CloseHandle(thread);
    return 1;
}
