// Exchanges of the PSoC boot loader: raw bytes on the synchronous channel
// (AppState.portHandle), and the programming run built from them.
#pragma once
#include <atomic>
#include <cstdint>

#include "image/hex_image.h"  // kPsocImageEnd

enum {
    kPsocBlockBytes = 64,
    kPsocRequestBytes = 67,
    kPsocEchoBytes = 66,
    kPsocFinishReply = 0xA5,
};

// Outcomes of a programming run.
enum {
    kPsocSuccess = 129,
    kPsocFinishWriteFailed = 130,
    kPsocVerifyFailed = 132,
    kPsocEraseFailed = 133,  // has a message, though no PSoC run ends with it
    kPsocSyncError = 135,
    kPsocFinishReadFailed = 136,
};

// PsocFinish results other than the reply byte (0-255).
enum { kPsocFinishWriteError = -1, kPsocFinishReadError = -2, kPsocFinishNoByte = -3 };

// Sends the block at image address (a multiple of 64 below kPsocImageEnd) and checks
// its echo. Returns 1 when the block is not confirmed (the echo differs, or
// did not fully arrive, or the request could not be sent), else 0.
int PsocWriteBlock(int32_t address);

// Sends 0x5A and reads the one-byte reply.
int PsocFinish();

// Sends the framed reset command; the result of SerialWriteFrame.
int32_t PsocReset();

// Writes blocks 0 to 215 and finishes. After each confirmed block, stores the
// address of the next one in *address and *bytes. Returns the outcome.
int32_t PsocProgram(std::atomic<int32_t>* address, std::atomic<int32_t>* bytes);

const char* PsocOutcomeMessage(int32_t code);
