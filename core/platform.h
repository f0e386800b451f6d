// The small seam between the portable core and the operating system.
// One implementation per platform: platform_win32.cpp and platform_posix.cpp.
#pragma once
#include <cstdint>

// An open serial port. A HANDLE on Windows; on POSIX a pointer to the
// layer's own record of the open descriptor.
typedef void* PortHandle;

// A window that receives status texts (a dialog's HWND on Windows).
typedef void* WindowHandle;

void PlatformSleep(uint32_t ms);

// Starts entry on a new thread that nobody joins. Returns 1 when the thread
// started, 0 when it could not be started.
int PlatformStartThread(void (*entry)());

// Sets the text of control controlId of window.
void PlatformSetControlText(WindowHandle window, int controlId, const char* text);
