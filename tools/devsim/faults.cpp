#include "tools/devsim/faults.h"

#include "tools/devsim/flood.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

const char* const kT62Kinds[] = {"identify", "read", "write", "erase", "reset", nullptr};
const char* const kPsocKinds[] = {"identify", "block", "finish", "reset", nullptr};
const char* const kKeyerKinds[] = {"echo", "version", "revision", "ictype", "handover", "speed", "record", "end", nullptr};

struct TypeName {
    const char* name;
    FaultType type;
    bool needsArg;
    bool mayTakeArg = false;  // an argument that may be left out
    int flood = 0;            // kFaultFlood: the FloodKind
};

const TypeName kTypes[] = {
    {"drop", kFaultDrop, false},   {"ignore", kFaultIgnore, false}, {"corrupt", kFaultCorrupt, false},
    {"long", kFaultLong, false},   {"diff", kFaultDiff, false},     {"short", kFaultShort, true},
    {"reply", kFaultReply, true},  {"silent", kFaultSilent, false}, {"noise", kFaultNoise, true},
    {"late", kFaultLate, true},    {"stale", kFaultStale, false},
    {"flood-55", kFaultFlood, false, true, kFloodStartBytes},
    {"flood-start", kFaultFlood, false, true, kFloodFrameStarts},
    {"flood-escape", kFaultFlood, false, true, kFloodEscapes},
    {"power", kFaultPower, true},  {"unplug", kFaultUnplug, true},  {"noop", kFaultNoop, false},
    {"cut", kFaultCut, true},      {"double", kFaultDouble, false},
    {"wrong-command", kFaultWrongCommand, false}, {"wrong-address", kFaultWrongAddress, false},
};

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(sep, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

bool ParseNumber(const std::string& text, long low, long high, long* value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text.c_str(), &end, 0);
    if (errno || *end || v < low || v > high) return false;
    *value = v;
    return true;
}

bool ParseRange(const std::string& text, uint32_t* first, uint32_t* last) {
    size_t dash = text.find('-');
    long a = 0;
    long b = 0;
    if (dash == std::string::npos) {
        if (!ParseNumber(text, 1, INT_MAX, &a)) return false;
        *first = *last = static_cast<uint32_t>(a);
        return true;
    }
    if (!ParseNumber(text.substr(0, dash), 1, INT_MAX, &a)) return false;
    *first = static_cast<uint32_t>(a);
    std::string tail = text.substr(dash + 1);
    if (tail.empty()) {
        *last = UINT32_MAX;
        return true;
    }
    if (!ParseNumber(tail, a, INT_MAX, &b)) return false;
    *last = static_cast<uint32_t>(b);
    return true;
}

}  // namespace

const char* DeviceName(int device) {
    switch (device) {
        case kDeviceT62: return "t62";
        case kDevicePsoc: return "psoc";
        case kDeviceKeyer: return "keyer";
        default: return "?";
    }
}

bool FaultKindOf(int device, const std::string& kind) {
    if (kind == "any") return true;
    const char* const* kinds = device == kDeviceT62 ? kT62Kinds : device == kDevicePsoc ? kPsocKinds : kKeyerKinds;
    for (; *kinds; ++kinds) {
        if (kind == *kinds) return true;
    }
    return false;
}

bool ParseFault(const char* text, FaultRule* rule, std::string* error) {
    std::vector<std::string> parts = Split(text, ':');
    if (parts.size() < 3 || parts.size() > 4) {
        *error = "expected TYPE:CMD:N[:ARG]";
        return false;
    }
    const TypeName* type = nullptr;
    for (const TypeName& t : kTypes) {
        if (parts[0] == t.name) type = &t;
    }
    if (!type) {
        *error = "unknown fault type '" + parts[0] + "'";
        return false;
    }
    if (type->needsArg != (parts.size() == 4) && !type->mayTakeArg) {
        *error = type->needsArg ? "this fault needs an argument" : "this fault takes no argument";
        return false;
    }
    rule->text = text;
    rule->type = type->type;
    rule->flood = type->flood;
    rule->device = -1;
    rule->kind = parts[1];
    size_t dot = parts[1].find('.');
    if (dot != std::string::npos) {
        std::string device = parts[1].substr(0, dot);
        rule->kind = parts[1].substr(dot + 1);
        for (int d = 0; d < kDeviceCount; ++d) {
            if (device == DeviceName(d)) rule->device = d;
        }
        if (rule->device < 0) {
            *error = "unknown device '" + device + "'";
            return false;
        }
    }
    bool known = false;
    for (int d = 0; d < kDeviceCount; ++d) {
        if ((rule->device < 0 || rule->device == d) && FaultKindOf(d, rule->kind)) known = true;
    }
    if (!known) {
        *error = "unknown command kind '" + rule->kind + "'";
        return false;
    }
    if (!ParseRange(parts[2], &rule->first, &rule->last)) {
        *error = "bad occurrence '" + parts[2] + "' (N, N-M or N-, from 1)";
        return false;
    }
    rule->arg = 0;
    if (parts.size() == 4) {
        long value = 0;
        long high = rule->type == kFaultReply ? 255 : 100000;
        if (!ParseNumber(parts[3], 0, high, &value)) {
            *error = "bad argument '" + parts[3] + "'";
            return false;
        }
        rule->arg = static_cast<int>(value);
    }
    return true;
}

FaultEffects FaultsForCommand(FaultTable* table, Transcript* transcript, int device, const char* kind) {
    uint32_t nKind = ++table->counts[device][kind];
    uint32_t nAny = ++table->counts[device]["any"];
    FaultEffects fx;
    for (const FaultRule& rule : table->rules) {
        if (rule.device >= 0 && rule.device != device) continue;
        uint32_t n = 0;
        if (rule.kind == "any") {
            n = nAny;
        } else if (rule.kind == kind) {
            n = nKind;
        } else {
            continue;
        }
        if (n < rule.first || n > rule.last) continue;
        TranscriptNote(transcript, "fault %s on %s %s #%u", rule.text.c_str(), DeviceName(device), kind, n);
        switch (rule.type) {
            case kFaultDrop: fx.drop = true; break;
            case kFaultIgnore: fx.ignore = true; break;
            case kFaultCorrupt: fx.corrupt = true; break;
            case kFaultLong: fx.longReply = true; break;
            case kFaultDiff: fx.diff = true; break;
            case kFaultStale: fx.stale = true; break;
            case kFaultNoop: fx.noop = true; break;
            case kFaultCut: fx.cutCount = rule.arg; break;
            case kFaultDouble: fx.doubled = true; break;
            case kFaultWrongCommand: fx.wrongCommand = true; break;
            case kFaultWrongAddress: fx.wrongAddress = true; break;
            case kFaultShort: fx.shortCount = rule.arg; break;
            case kFaultReply: fx.replyByte = rule.arg; break;
            case kFaultSilent: table->silent[device] = true; break;
            case kFaultNoise: fx.noiseCount += rule.arg; break;
            case kFaultLate: fx.lateMs += rule.arg; break;
            case kFaultFlood:
                fx.floodKind = rule.flood;
                fx.floodMs = rule.arg;
                break;
            // The command is lost with the power or the line: not carried out.
            case kFaultPower:
                fx.ignore = true;
                table->outage.powerMs = rule.arg;
                table->outage.powerDevice = device;
                break;
            case kFaultUnplug:
                fx.ignore = true;
                table->outage.unplugMs = rule.arg;
                break;
        }
    }
    return fx;
}

std::vector<uint8_t> NoiseBytes(int count) {
    std::vector<uint8_t> noise;
    uint32_t state = 0x2545F491u;
    while (static_cast<int>(noise.size()) < count) {
        state = state * 1103515245u + 12345u;
        uint8_t b = static_cast<uint8_t>(state >> 16);
        if (b != 0x55) noise.push_back(b);
    }
    return noise;
}
