// The T62's PIC firmware loader at 115200 baud: identify, read row, write
// row, erase, reset, on program memory that is really erased and written.
//
// Memory is kept in the image layout: the bytes of target address a start
// at offset 2*a; each 4-byte word has three significant bytes and a pad
// byte that the device does not store (it reads back 0x00).
#pragma once
#include <cstdint>
#include <vector>

#include "tools/devsim/t62_frame.h"

struct Sim;

enum {
    kT62MemoryBytes = 0x40000,
    kT62RowUnits = 0x80,      // target address units per row (256 image bytes)
    kT62EraseUnits = 0x400,   // units erased by one erase command (8 rows)
    kT62LastAddress = 0x1FFFF,
};

struct T62Device {
    uint32_t baud = 115200;  // the loader's line speed
    uint8_t hwRevision = 1;
    uint8_t loaderMajor = 2;
    uint8_t loaderMinor = 5;
    std::vector<uint8_t> memory;
    FrameReader reader;
};

// Fills significant bytes with fill, pad bytes with 0.
void T62Init(T62Device* dev, uint8_t fill);
void T62Feed(Sim* sim, uint8_t byte);
