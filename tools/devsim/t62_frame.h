// The T62 loader's framed packet, device side:
//   0x55 0x55, body (payload, then checksum; 0x04, 0x05 and 0x55 escaped
//   by 0x05), 0x04. The checksum makes payload + checksum sum to 0 mod 256.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// Longest body taken in; longer ones are thrown away (the largest request,
// a row write, has a 262-byte body).
enum { kFrameBodyMax = 600 };

struct FrameReader {
    int need = 2;          // start bytes still wanted; 0 once inside a body
    bool escaped = false;  // the previous body byte was an escape
    bool overlong = false;
    std::vector<uint8_t> body;
};

enum FrameResult {
    kFrameIncomplete,
    kFrameGood,         // *payload holds the payload (checksum removed)
    kFrameBadChecksum,  // thrown away: the device answers nothing
    kFrameOverlong,     // thrown away
};

// Takes one byte. Hunts for 0x55 0x55; an unescaped 0x55 inside a body
// abandons it and counts as the first byte of a new start pair.
FrameResult FrameReaderFeed(FrameReader* reader, uint8_t byte, std::vector<uint8_t>* payload);

// The frame for payload. With badChecksum the checksum is off by one.
std::vector<uint8_t> BuildFrame(const std::vector<uint8_t>& payload, bool badChecksum);
