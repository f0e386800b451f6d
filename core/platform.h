// The small seam between the portable core and the operating system.
// One implementation per platform: platform_win32.cpp and platform_posix.cpp.
#pragma once
#include <cstdint>

// An open serial port: a pointer to the serial layer's own record of it
// (serial/port_win32.h, serial/port_posix.h), on either channel.
typedef void* PortHandle;

void PlatformSleep(uint32_t ms);

// Starts entry on a new thread that nobody joins. Returns 1 when the thread
// started, 0 when it could not be started.
int PlatformStartThread(void (*entry)());

