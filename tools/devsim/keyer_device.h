// The keyer IC: its operating firmware (O/S) and its loader.
//
// O/S, 1200 baud:  00 04 x -> x (echo); 00 09 -> version; 00 17 -> revision
//                  plus the variant's offset; 00 18 -> IC type;
//                  00 10 9B -> no reply, the loader takes over for good.
// Loader, 1200:    00 04 x -> 0xAA; 0x35 -> the loader moves to 9600 baud.
// Loader, 9600:    20-byte record frames (0x1B or 0x2E, word address high
//                  byte first, 16 data bytes, checksum: all 20 bytes sum to
//                  0) -> 0x3C, 0x80 for a bad command byte, 0x81 for a bad
//                  checksum; 00 04 x -> 0xAA; 0x5A -> back to 1200 baud.
//
// The IC hears and answers only at its own speed. Between frames the loader
// at 9600 takes 0x5A as the end and 0x00 as the start of a host command;
// any other byte starts a record frame, 0x35 too unless it is set to be
// ignored. Frames are gathered by count only,
// so the bytes may come in any chunking.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct Sim;

enum KeyerVariant { kKeyerNone = 0, kKeyerAmber = 1, kKeyerTopaz = 2, kKeyerJade = 3, kKeyerRuby = 4 };

struct KeyerRecordLog {
    uint8_t command;
    uint16_t address;
    uint8_t data[16];
    uint32_t baud;
};

struct KeyerDevice {
    int variant = kKeyerAmber;
    uint8_t version = 31;
    uint8_t revision = 3;  // without the variant's offset
    int icTypeOverride = -1;
    // The loader at 9600 takes 0x35, the speed request, as a frame's first
    // byte, or (set) ignores it: a real loader may do either.
    bool ignoreSpeedRequestAt9600 = false;
    bool loader = false;   // the loader runs (no O/S, or after the hand-over)
    uint32_t baud = 1200;  // the speed the IC is at
    bool lastSeen = false; // the last frame (0x2E) has been taken
    bool osErased = false; // a record was written, the last one (0x2E) not yet
    std::vector<uint8_t> pending;
    std::vector<KeyerRecordLog> records;
};

// Parses amber|topaz|jade|ruby|none; -1 when unknown.
int KeyerVariantFromName(const std::string& name);
void KeyerInit(KeyerDevice* dev);
// Starts afresh after a power loss, at 1200 baud: in its loader when the O/S
// is gone (an IC without one, or an upload begun and not ended), else with
// its O/S. The record log is kept.
void KeyerPowerOn(KeyerDevice* dev);
void KeyerFeed(Sim* sim, uint8_t byte);
