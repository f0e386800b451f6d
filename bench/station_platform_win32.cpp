#include <windows.h>
#include <io.h>

#include "bench/station_platform.h"

int StationSyncToDisk(FILE* stream) {
    if (std::fflush(stream) != 0) return 0;
    HANDLE file = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    return file != INVALID_HANDLE_VALUE && FlushFileBuffers(file) != 0;
}

std::string StationHostName() {
    char name[MAX_COMPUTERNAME_LENGTH + 1] = "";
    DWORD size = sizeof name;
    if (!GetComputerNameA(name, &size)) return "";
    return name;
}
