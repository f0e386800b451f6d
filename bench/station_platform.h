// The little a station needs of the system, one implementation per platform
// (station_platform_posix.cpp, station_platform_win32.cpp).
#pragma once
#include <cstdio>
#include <string>

// Flushes stream and has the system put what it wrote on the disk (fsync;
// FlushFileBuffers), so that a record survives a power cut. Returns 1 when
// it is there.
int StationSyncToDisk(FILE* stream);

// This machine's name, for the records ("" when the system will not say).
std::string StationHostName();
