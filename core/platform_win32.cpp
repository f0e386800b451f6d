#include <windows.h>

#include "core/platform.h"

void PlatformSleep(uint32_t ms) { Sleep(ms); }

void PlatformGiveWayWithin(uint32_t) { Sleep(0); }

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

namespace {

// The volume and file index of the file at path; 0 when it cannot be asked.
int FileIdentity(const char* path, BY_HANDLE_FILE_INFORMATION* info) {
    HANDLE h = CreateFileA(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                           FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) return 0;
    int ok = GetFileType(h) == FILE_TYPE_DISK && GetFileInformationByHandle(h, info);
    CloseHandle(h);
    return ok;
}

}  // namespace

int PlatformSameFile(const char* a, const char* b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    if (!FileIdentity(a, &ia) || !FileIdentity(b, &ib)) return 0;
    return ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber && ia.nFileIndexHigh == ib.nFileIndexHigh &&
           ia.nFileIndexLow == ib.nFileIndexLow;
}

int PlatformReplaceFile(const char* from, const char* to) {
    return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) ? 1 : 0;
}
