// Shared pieces of the two POSIX serial channels (synchronous and keyer).
#pragma once
#include <cstdint>

#include "serial/read_ahead.h"

// What a PortHandle points to on POSIX.
struct PosixPort {
    int fd;
    uint32_t readTimeoutMs;
    uint32_t baud = 0;                  // the line speed set last, for the line log
    int latencyFlags = -1;              // the serial flags to put back at close (-1: none)
    ReadAhead readAhead = ReadAhead();  // the synchronous channel's (read_ahead.cpp)
};

// Opens the serial device at path for exclusive use, as Windows opens a
// port with no sharing: without becoming its controlling terminal, with
// TIOCEXCL (a second open fails, root's aside) and an advisory lock (a
// second program that locks, root's too, fails; where the system refuses to
// lock a device at all, TIOCEXCL alone). Returns the descriptor, or
// -1 with the reason in LastPortFault(). What is open is not yet known to
// be a terminal: the first tcgetattr tells (PosixNoteNotSerial).
int PosixOpenDevice(const char* path);

// Gives up the exclusive use (a pseudo-terminal whose other side another
// process holds would otherwise keep refusing opens after ours is closed)
// and closes the descriptor.
void PosixCloseDevice(int fd);

// Notes in LastPortFault() that the device at hand is no terminal, when
// errno says so after a failed tcgetattr; else notes the system's error.
void PosixNoteNotSerial();

// Applies raw 8N1 at baud with no flow control. Returns 1 on success.
int PosixSetLine(int fd, uint32_t baud);

// Sets the DTR and RTS lines (1 on, 0 off). A device without modem lines (a
// pseudo-terminal) has nothing to set and is left as it is.
void PosixSetModemLines(int fd, int dtr, int rts);

// Reads until count bytes arrived or timeoutMs passed since the call began.
// Returns 1 unless the descriptor failed (the device gone: noted in
// LastPortFault()); *got is what arrived. With the line's baud (0: not
// known), once some bytes have come it waits for as long as the rest take on
// the line before it looks again, rather than being woken for every byte.
int PosixReadFor(int fd, uint8_t* buffer, uint32_t count, uint32_t timeoutMs, uint32_t baud, uint32_t* got);

// Writes all bytes, waiting at most timeoutMs (0: no limit). Returns 1 when
// every byte was written; a failure of the device, or bytes still unwritten
// when the time is up, is noted as for reads (kPortGone).
int PosixWriteAll(int fd, const uint8_t* bytes, uint32_t count, uint32_t timeoutMs, uint32_t* written);

// Asks the driver for low latency (Linux: ASYNC_LOW_LATENCY through
// TIOCGSERIAL and TIOCSSERIAL; macOS: IOSSDATALAT of 1 ms) and notes in the
// line log what was asked and what the driver answered. A driver that
// refuses (a pseudo-terminal, a UART without the setting) leaves the line as
// it was. Returns the serial flags to put back when the port is closed, or
// -1 when nothing was changed that can be put back.
int PosixAskLowLatency(int fd);

// Puts back the low-latency setting of flags (a PosixAskLowLatency result;
// -1: nothing to do).
void PosixRestoreLatency(int fd, int flags);
