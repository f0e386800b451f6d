#include <unistd.h>

#include <climits>

#include "bench/station_platform.h"

int StationSyncToDisk(FILE* stream) {
    if (std::fflush(stream) != 0) return 0;
    return fsync(fileno(stream)) == 0;
}

std::string StationHostName() {
    char name[256] = "";
    if (gethostname(name, sizeof name - 1) != 0) return "";
    return name;
}
