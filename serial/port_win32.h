// Shared pieces of the two Windows serial channels (synchronous and keyer):
// the port record behind a PortHandle, the port open of both channels
// (serial/port_open.h), and the one place where each channel's line
// settings are made.
#pragma once
#include <windows.h>

#include <cstdint>

#include "serial/read_ahead.h"

// What a PortHandle points to on Windows, on either channel.
struct Win32Port {
    HANDLE handle;
    uint32_t baud;                      // the line speed set last, for the line log
    ReadAhead readAhead = ReadAhead();  // the synchronous channel's (read_ahead.cpp)
    DCB dcb = DCB();                    // the settings applied at open; the keyer's speed
                                        // changes alter only their baud rate
};

enum Win32Line {
    kWin32SyncLine,   // 8N1, no flow control, DTR and RTS off
    kWin32KeyerLine,  // 8N1, DTR on, RTS off, no XON/XOFF, no DSR sensitivity
};

// Changes dcb, as GetCommState reported it, to the channel's settings at baud;
// every field the channel does not set keeps its value.
void Win32SetUpLine(DCB* dcb, uint32_t baud, Win32Line line);

// Notes in LastPortFault() why an open of a port failed, from GetLastError().
void Win32NoteOpenFailure(DWORD error);

// Notes that a write ended with bytes unwritten after waitMs (the line
// stopped taking them), as a port that has gone, and logs it.
void Win32NoteStoppedTaking(DWORD written, DWORD count, DWORD waitMs);

// Notes that a port failed in a transfer (the device has gone), and logs it.
void Win32NoteGone(DWORD error);
