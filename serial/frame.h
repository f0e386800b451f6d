// The framed packet of the T62 firmware loader:
//   0x55 0x55, body (payload then checksum, 0x04/0x05/0x55 escaped by 0x05), 0x04.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/platform.h"

// SerialReadFrame results below zero.
enum {
    kFrameReadFailed = -1,
    kFrameTimeout = -2,
    kFrameTooLong = -3,
    kFrameChecksum = -4,
};

// Bytes skipped while hunting for the start pair before the reader gives up
// with kFrameTimeout, as if the peer had been silent: a peer that chatters
// without ever starting a frame cannot hold the reader forever.
enum { kFrameHuntLimit = 1024 };

// Largest frame for a payload of count bytes: every byte escaped.
inline size_t FrameCapacity(size_t count) { return 2 * count + 5; }

// Most bytes one SerialReadFrame call with this limit reads before it gives
// up with kFrameTimeout, as if the peer had been silent: the hunt limit and
// then the longest good frame the limit allows (limit payload bytes and the
// checksum, all escaped). A peer that never stops sending, whatever it
// sends, cannot hold the reader longer than this many bytes take.
inline size_t FrameReadBound(uint16_t limit) { return kFrameHuntLimit + FrameCapacity(limit); }

// Builds the frame for payload into frame (FrameCapacity(count) bytes);
// returns its length.
size_t BuildFrame(const uint8_t* payload, uint16_t count, uint8_t* frame);

// Sends one frame in one write. Returns count, or -1 when the write failed.
int32_t SerialWriteFrame(PortHandle port, const uint8_t* payload, uint16_t count);

// Receives one frame into buffer (which holds limit + 1 bytes). Returns the
// number of body bytes stored, checksum byte included, or a negative code.
int32_t SerialReadFrame(PortHandle port, uint8_t* buffer, uint16_t limit);
