// A device whose transmitter never stops: after a command it sends one
// pattern over and over at its own speed, until the simulator stops or for
// a given time. Meanwhile its replies are lost in the flood.
#pragma once
#include <cstddef>
#include <cstdint>

struct Sim;

enum FloodKind {
    kFloodStartBytes,  // 55 55 55 ...
    kFloodFrameStarts, // 55 55 01 02 03 55 55 01 02 03 ... (frames that never end)
    kFloodEscapes,     // 05 05 05 ...
};

struct Flood {
    int device = -1;     // the device flooding; -1: none
    int kind = 0;        // a FloodKind
    int64_t startNs = 0; // when the first byte was due
    int64_t endNs = 0;   // when it stops; 0: when the simulator stops
    uint64_t due = 0;    // bytes the line has had time for so far
    uint64_t sent = 0;   // bytes that went out to the host
    uint64_t lost = 0;   // bytes the host did not take in time, or could not hear at its speed
};

// The kind's name as in the fault ("55", "start", "escape").
const char* FloodKindName(int kind);

// Starts (or restarts) a flood from device, for ms milliseconds (0: until
// the simulator stops), and notes it in the transcript.
void FloodStart(Sim* sim, int device, int kind, int ms);

// Whether device is flooding the line now.
bool Flooding(const Sim* sim, int device);

// When FloodTick next has bytes to send (0: no flood).
int64_t FloodDeadline(const Sim* sim);

// Sends the bytes that are due by now, without waiting for the host: what
// the host does not take at once is lost, as on a wire. Ends the flood when
// its time is up. The transcript gets a note at the start and the end
// instead of every byte.
void FloodTick(Sim* sim, int64_t nowNs);

// Ends a flood still running (the simulator stops), with its note.
void FloodStop(Sim* sim);
