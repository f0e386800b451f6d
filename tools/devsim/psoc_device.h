// The PSoC boot loader at 19200 baud, raw bytes:
//   0xCC                          -> '3', version character
//   0x55 n d0..d63 0x04 (block)   -> n d0..d63 0x04; stored at n*64
//   0x5A (finish)                 -> 0xA5
//   55 55 08 00 F8 04 (reset, the one framed command) -> nothing
//
// A block numbered 85 starts 55 55 like the framed reset, and may even go
// on 08 00 F8 04. The two are told apart by what follows: a block's 67
// bytes come in one go, so when those six bytes are followed by a quiet
// line (kPsocResetQuietNs) they were the reset; when more bytes come at
// once they were the start of block 85. For the same reason a block that
// stops short for kPsocBlockGapNs (or --psoc-block-gap) is thrown away, so that stray bytes (a
// host at 19200 talking to another device) cannot hold the loader.
#pragma once
#include <cstdint>
#include <vector>

struct Sim;

enum {
    kPsocMemoryBytes = 0x3600,
    kPsocBlockBytes = 64,
    kPsocBlockCount = 216,
    kPsocBlockRequest = 67,
};

const int64_t kPsocResetQuietNs = 20 * 1000000LL;
const int64_t kPsocBlockGapNs = 50 * 1000000LL;

struct PsocDevice {
    uint32_t baud = 19200;  // the boot loader's line speed
    char version = '7';
    std::vector<uint8_t> memory;
    std::vector<uint8_t> pending;  // a block (or the reset) being gathered
    int64_t lastByteNs = 0;        // when the last byte of pending came
    int64_t blockGapNs = kPsocBlockGapNs;
};

void PsocInit(PsocDevice* dev, uint8_t fill);
// Takes one byte that arrived at atNs.
void PsocFeed(Sim* sim, uint8_t byte, int64_t atNs);
// When PsocTick has something to settle (0: nothing pending).
int64_t PsocDeadline(const PsocDevice* dev);
// Settles what is pending once the line has been quiet long enough: the
// reset is carried out, a partial block thrown away.
void PsocTick(Sim* sim, int64_t nowNs);
