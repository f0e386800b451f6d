// The synchronous channel's read-ahead: bytes that have arrived but that no
// read has asked for yet, kept in order for the next reads (read_ahead.cpp).
#pragma once
#include <cstdint>

struct ReadAhead {
    uint32_t next = 0;      // first byte not yet handed out
    uint32_t end = 0;       // one past the last byte held
    uint32_t expected = 0;  // bytes announced by PortExpect and not yet arrived
    uint8_t bytes[512];
};
