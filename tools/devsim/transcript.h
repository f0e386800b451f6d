// The simulator's transcript: every byte each way, and notable events.
//
//   <us> H>D <baud> <hex bytes>    bytes from the host, taken by a device
//   <us> drop <baud> <hex bytes>   bytes from the host that no device heard
//   <us> D>H <baud> <hex bytes>    bytes a device sent
//   <us> note <text>               speed switches, faults, resets, rows ...
//
// <us> is microseconds since the simulator started. Every line is flushed
// as soon as it is complete.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <vector>

struct Transcript {
    FILE* file = nullptr;
    int64_t startNs = 0;
    // Received bytes are gathered into one line while they keep the same
    // tag and speed; the line is written when that changes or on a flush.
    const char* pendingTag = nullptr;
    uint32_t pendingBaud = 0;
    int64_t pendingNs = 0;
    std::vector<uint8_t> pendingBytes;
};

// Monotonic clock in nanoseconds.
int64_t MonotonicNs();

// Starts the clock; opens path for writing when path is not null.
// Returns false when the file cannot be opened.
bool TranscriptOpen(Transcript* t, const char* path);
void TranscriptClose(Transcript* t);

// One received byte, taken at atNs; tag is "H>D" or "drop".
void TranscriptReceived(Transcript* t, int64_t atNs, const char* tag, uint32_t baud, uint8_t byte);
// Bytes sent by a device, the first of them at atNs.
void TranscriptSent(Transcript* t, int64_t atNs, uint32_t baud, const uint8_t* bytes, size_t count);
void TranscriptNote(Transcript* t, const char* format, ...) __attribute__((format(printf, 2, 3)));
// Writes out the received bytes gathered so far.
void TranscriptFlush(Transcript* t);
