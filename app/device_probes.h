// The probes behind the main window's Open buttons. Each runs to its end on
// the calling (user-interface) thread, writes its texts into the main
// window's statics and switches its buttons; each returns at once while
// another probe is running (AppState.probeBusy).
#pragma once
#include <windows.h>

// T62 firmware loader at 115200 baud: the identify command in one frame.
void ProbeT62(HWND mainWindow);

// PSoC boot loader at 19200 baud: 0xCC out, "3" and the version back.
void ProbePsoc(HWND mainWindow);

// ZQ3 keyer IC over the keyer channel.
void ProbeZq3(HWND mainWindow);
