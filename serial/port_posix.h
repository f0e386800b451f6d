// Shared pieces of the two POSIX serial channels (synchronous and keyer).
#pragma once
#include <cstdint>

#include "serial/read_ahead.h"

// What a PortHandle points to on POSIX.
struct PosixPort {
    int fd;
    uint32_t readTimeoutMs;
    ReadAhead readAhead = ReadAhead();  // the synchronous channel's (read_ahead.cpp)
};

// Opens the device of COM<port> for exclusive use (an advisory lock, so a
// second opener in any process fails). Returns the descriptor or -1.
int PosixOpenComPort(int32_t port);

// Applies raw 8N1 at baud with no flow control. Returns 1 on success.
int PosixSetLine(int fd, uint32_t baud);

// Reads until count bytes arrived or timeoutMs passed since the call began.
// Returns 1 unless the descriptor failed; *got is what arrived.
int PosixReadFor(int fd, uint8_t* buffer, uint32_t count, uint32_t timeoutMs, uint32_t* got);

// Writes all bytes, waiting at most timeoutMs (0: no limit). Returns 1 when
// every byte was written.
int PosixWriteAll(int fd, const uint8_t* bytes, uint32_t count, uint32_t timeoutMs, uint32_t* written);
