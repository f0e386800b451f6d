// The small seam between the portable core and the operating system.
// One implementation per platform: platform_win32.cpp and platform_posix.cpp.
#pragma once
#include <cstdint>

// An open serial port: a pointer to the serial layer's own record of it
// (serial/port_win32.h, serial/port_posix.h), on either channel.
typedef void* PortHandle;

// Sleeps for ms. A sleep of 0 only gives way, for a fraction of a
// millisecond: on Windows to other threads ready to run, on Linux and macOS
// for a tenth of a millisecond, in the page to its events (bytes that came
// in among them).
void PlatformSleep(uint32_t ms);

// Gives way while the input is watched for micros more. Natively a sleep of
// 0, asked again and again: a timed sleep's step is a whole timer tick on
// some systems, longer than the watch. In the page a timer for most of
// micros at once: each sleep there suspends and resumes the whole call
// stack and waits a turn of the browser's event loop (4 ms or more once
// timers chain), and the bytes that come meanwhile stay queued for the next
// ask.
void PlatformGiveWayWithin(uint32_t micros);

// Starts entry on a new thread that nobody joins. Returns 1 when the thread
// started, 0 when it could not be started.
int PlatformStartThread(void (*entry)());


// 1 when the paths a and b name the same existing file (the same device and
// inode; on Windows the same volume and file index), whatever their names:
// a link, a second name or another spelling of the path.
int PlatformSameFile(const char* a, const char* b);

// Puts the file from in the place of to in one step, replacing a file to
// that exists: a failure leaves to as it was. Returns 1 when it is done.
int PlatformReplaceFile(const char* from, const char* to);
