// Faults injected on request: TYPE:CMD:N[:ARG], N being the 1-based
// occurrence of the command kind CMD over the whole run (N, N-M or N-).
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "tools/devsim/transcript.h"

enum DeviceId { kDeviceT62 = 0, kDevicePsoc = 1, kDeviceKeyer = 2, kDeviceCount = 3 };

const char* DeviceName(int device);

enum FaultType {
    kFaultDrop,     // carry the command out, send no reply
    kFaultIgnore,   // neither carry it out nor reply
    kFaultCorrupt,  // one wrong byte in the reply
    kFaultLong,     // T62: a reply body longer than any limit of the host
    kFaultDiff,     // T62 read: one significant byte differs from memory
    kFaultStale,    // T62 read: the reply for the row below (at 0: above), header and all
    kFaultShort,    // PSoC block: only ARG bytes of the echo
    kFaultReply,    // the one byte ARG instead of the reply
    kFaultSilent,   // from this command on the device sends nothing
    kFaultNoise,    // ARG noise bytes before the reply
    kFaultLate,     // the reply goes out ARG ms late
    kFaultFlood,    // instead of the reply, a pattern over and over (ARG ms, or until stopped)
    kFaultPower,    // the device loses power for ARG ms (outage.h)
    kFaultUnplug,   // the line goes away for ARG ms (outage.h)
    kFaultNoop,     // reply as if done, but leave memory as it was (a cell that did not take it)
    kFaultCut,      // only the first ARG bytes of the reply
    kFaultDouble,   // the reply goes out twice
    kFaultWrongCommand,  // T62: the reply names another command (a good frame)
    kFaultWrongAddress,  // T62: the reply names another address; PSoC block: another block's number
};

struct FaultRule {
    std::string text;  // as given, for the transcript
    FaultType type;
    int device;        // a DeviceId, or -1: every device that has the kind
    std::string kind;  // command kind, or "any"
    uint32_t first;
    uint32_t last;     // UINT32_MAX: no end
    int arg;
    int flood;         // kFaultFlood: the FloodKind
};

// What the faults say about one command.
struct FaultEffects {
    bool drop = false;
    bool ignore = false;
    bool corrupt = false;
    bool longReply = false;
    bool diff = false;
    bool stale = false;
    bool noop = false;
    bool doubled = false;
    bool wrongCommand = false;
    bool wrongAddress = false;
    int cutCount = -1;
    int shortCount = -1;
    int replyByte = -1;
    int noiseCount = 0;
    int lateMs = 0;
    int floodKind = -1;  // a FloodKind, or -1: no flood
    int floodMs = 0;     // 0: until the simulator stops
};

// A power loss or an unplugged line that a command has set off; carried
// out once the byte in hand has been dispatched (outage.h).
struct PendingOutage {
    int powerMs = -1;   // >= 0: device powerDevice loses power for so long
    int powerDevice = -1;
    int unplugMs = -1;  // >= 0: the line goes away for so long
};

struct FaultTable {
    std::vector<FaultRule> rules;
    std::map<std::string, uint32_t> counts[kDeviceCount];
    bool silent[kDeviceCount] = {false, false, false};
    PendingOutage outage;
};

// Whether kind (or "any") is a command kind of device.
bool FaultKindOf(int device, const std::string& kind);

// Parses one --fault argument. CMD may name the device too ("psoc.identify").
// Returns false with a reason in *error.
bool ParseFault(const char* text, FaultRule* rule, std::string* error);

// Counts one command of kind on device and returns the faults that hit it;
// every fault injected is noted in the transcript.
FaultEffects FaultsForCommand(FaultTable* table, Transcript* transcript, int device, const char* kind);

// count noise bytes, none of them 0x55, so they never hold a frame start.
std::vector<uint8_t> NoiseBytes(int count);
