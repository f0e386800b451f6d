// Shared pieces of the two serial channels in the page (synchronous and
// keyer): the one port the user chose in the browser, through the page's
// Web Serial side (port_web.js). Every call that waits for the browser
// suspends the caller (Asyncify) and lets the page run meanwhile.
//
// Each open of the port is a line with a number of its own. The page has
// one port for both channels, so an open for one channel ends the other's
// line: that channel's transfers then fail, and its close closes nothing.
#pragma once
#include <cstdint>

#include "serial/read_ahead.h"

// What a PortHandle points to in the page.
struct WebPort {
    int line;  // 0: none (a keyer channel whose set-up failed)
    uint32_t readTimeoutMs;
    uint32_t baud;  // the speed it was opened at or set to last
    ReadAhead readAhead = ReadAhead();  // the synchronous channel's (read_ahead.cpp)
};

// Reads until count bytes arrived or timeoutMs passed since the call began
// (0: no limit). 1 unless the line failed or has gone; *got is what arrived.
int WebLineRead(int line, uint8_t* buffer, uint32_t count, uint32_t timeoutMs, uint32_t* got);

// Writes all bytes, waiting at most timeoutMs. 1 when the browser took
// every byte in time. A write that did not finish in its time leaves the
// line as a port that has gone (kPortGone): the adapter stopped taking
// bytes, and the write is given up, so that the port can still be closed.
int WebLineWrite(int line, const uint8_t* bytes, uint32_t count, uint32_t timeoutMs, uint32_t* written);

// Bytes received on the line and not yet read.
uint32_t WebLineQueued(int line);

// Drops the bytes received on the line and not yet read.
void WebLinePurge(int line);

// What identifies the port the user chose: its USB vendor id * 65536 + its
// product id; kWebPortNotUsb for a port that is no USB device (a built-in
// or Bluetooth one), kWebPortNone before any was chosen.
enum { kWebPortNotUsb = -1, kWebPortNone = -2 };
int32_t WebPortUsbId();

// A new speed: the port is closed and opened again at baud with the same
// DTR and RTS (Web Serial sets the speed only when it opens a port), under
// the same line number. 1 on success.
int WebLineSetSpeed(int line, uint32_t baud);
