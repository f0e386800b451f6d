#include "tools/devsim/keyer_device.h"

#include <cstring>

#include "tools/devsim/device_state.h"
#include "tools/devsim/devsim.h"
#include "tools/devsim/reply.h"

namespace {

const char* const kVariantNames[] = {"none", "amber", "topaz", "jade", "ruby"};

enum {
    kRecordBytes = 20,
    kRecordGood = 0x3C,
    kRecordBadCommand = 0x80,
    kRecordBadChecksum = 0x81,
};

// The loader's answer to the echo test, whatever the byte to echo.
const uint8_t kLoaderEcho = 0xAA;

uint8_t RevisionOffset(int variant) { return variant >= kKeyerAmber ? static_cast<uint8_t>(50 * (variant - 1)) : 0; }

// Runs one command of kind with a one-byte reply (or none, replies < 0).
void Simple(Sim* sim, const char* kind, int reply) {
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDeviceKeyer, kind);
    if (fx.ignore) return SendReply(sim, kDeviceKeyer, fx, {});
    if (reply < 0) return SendReply(sim, kDeviceKeyer, fx, {});
    uint8_t b = static_cast<uint8_t>(reply);
    if (fx.corrupt) b ^= 0xFF;
    SendReply(sim, kDeviceKeyer, fx, {b});
}

void HandOver(Sim* sim) {
    KeyerDevice* dev = &sim->keyer;
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDeviceKeyer, "handover");
    if (!fx.ignore) {
        dev->loader = true;
        TranscriptNote(&sim->transcript, "keyer hands over to its loader");
    }
    SendReply(sim, kDeviceKeyer, fx, {});
}

void SpeedUp(Sim* sim) {
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDeviceKeyer, "speed");
    // Whatever the faults send goes out before the switch.
    SendReply(sim, kDeviceKeyer, fx, {});
    if (fx.ignore) return;
    sim->keyer.baud = 9600;
    TranscriptNote(&sim->transcript, "keyer speed 9600");
}

void End(Sim* sim) {
    KeyerDevice* dev = &sim->keyer;
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDeviceKeyer, "end");
    SendReply(sim, kDeviceKeyer, fx, {});
    if (fx.ignore) return;
    dev->baud = 1200;
    dev->lastSeen = false;
    TranscriptNote(&sim->transcript, "keyer speed 1200");
    DumpMemory(sim, kDeviceKeyer);
}

void Record(Sim* sim) {
    KeyerDevice* dev = &sim->keyer;
    std::vector<uint8_t> frame;
    frame.swap(dev->pending);
    FaultEffects fx = FaultsForCommand(&sim->faults, &sim->transcript, kDeviceKeyer, "record");
    if (fx.ignore) return SendReply(sim, kDeviceKeyer, fx, {});
    uint8_t sum = 0;
    for (uint8_t b : frame) sum = static_cast<uint8_t>(sum + b);
    uint8_t reply = kRecordGood;
    if (frame[0] != 0x1B && frame[0] != 0x2E) {
        reply = kRecordBadCommand;
    } else if (sum != 0) {
        reply = kRecordBadChecksum;
    } else if (fx.noop) {
        TranscriptNote(&sim->transcript, "keyer record %04x: not carried out", frame[1] << 8 | frame[2]);
    } else {
        if (dev->lastSeen) TranscriptNote(&sim->transcript, "keyer: a record after the last one");
        KeyerRecordLog log;
        log.command = frame[0];
        log.address = static_cast<uint16_t>(frame[1] << 8 | frame[2]);
        std::memcpy(log.data, &frame[3], sizeof log.data);
        log.baud = dev->baud;
        dev->records.push_back(log);
        // The O/S is gone from the first frame written until the last one.
        dev->osErased = frame[0] != 0x2E;
        if (frame[0] == 0x2E) dev->lastSeen = true;
    }
    if (fx.corrupt) reply ^= 0xFF;
    SendReply(sim, kDeviceKeyer, fx, {reply});
}

// 00 <code> [<argument>]: returns true once the command is complete (or
// known to be nothing), so that pending can be cleared.
bool HostCommand(Sim* sim, const std::vector<uint8_t>& p) {
    KeyerDevice* dev = &sim->keyer;
    if (p.size() < 2) return false;
    uint8_t code = p[1];
    bool withArgument = code == 0x04 || (code == 0x10 && !dev->loader);
    if (withArgument && p.size() < 3) return false;
    if (code == 0x04) {
        Simple(sim, "echo", dev->loader ? kLoaderEcho : p[2]);
    } else if (dev->loader) {
        TranscriptNote(&sim->transcript, "keyer loader ignores 00 %02x", code);
    } else if (code == 0x09) {
        Simple(sim, "version", dev->version);
    } else if (code == 0x17) {
        Simple(sim, "revision", (dev->revision + RevisionOffset(dev->variant)) & 0xFF);
    } else if (code == 0x18) {
        Simple(sim, "ictype", dev->icTypeOverride >= 0 ? dev->icTypeOverride : dev->variant);
    } else if (code == 0x10 && p[2] == 0x9B) {
        HandOver(sim);
    } else {
        TranscriptNote(&sim->transcript, "keyer ignores 00 %02x%s", code, code == 0x10 ? " without 9b" : "");
    }
    return true;
}

}  // namespace

int KeyerVariantFromName(const std::string& name) {
    for (int v = kKeyerNone; v <= kKeyerRuby; ++v) {
        if (name == kVariantNames[v]) return v;
    }
    return -1;
}

void KeyerInit(KeyerDevice* dev) {
    dev->loader = dev->variant == kKeyerNone || dev->osErased;
    dev->baud = 1200;
}

void KeyerPowerOn(KeyerDevice* dev) {
    dev->loader = dev->variant == kKeyerNone || dev->osErased;
    dev->baud = 1200;
    dev->lastSeen = false;
    dev->pending.clear();
}

void KeyerFeed(Sim* sim, uint8_t byte) {
    KeyerDevice* dev = &sim->keyer;
    std::vector<uint8_t>& p = dev->pending;
    if (p.empty()) {
        if (byte == 0x00) {
            p.push_back(byte);
        } else if (dev->loader && dev->baud == 1200 && byte == 0x35) {
            SpeedUp(sim);
        } else if (dev->loader && dev->baud == 9600 && byte == 0x5A) {
            End(sim);
        } else if (dev->loader && dev->baud == 9600 && byte == 0x35 && dev->ignoreSpeedRequestAt9600) {
            TranscriptNote(&sim->transcript, "keyer loader ignores 35 at 9600");
        } else if (dev->loader && dev->baud == 9600) {
            p.push_back(byte);
        } else {
            TranscriptNote(&sim->transcript, "keyer ignores %02x", byte);
        }
        return;
    }
    p.push_back(byte);
    if (p[0] == 0x00) {
        // 00 00: the first 00 led nowhere, the second starts the command.
        if (p.size() == 2 && byte == 0x00) {
            p.pop_back();
            return;
        }
        if (HostCommand(sim, p)) p.clear();
    } else if (p.size() == kRecordBytes) {
        Record(sim);
    }
}
