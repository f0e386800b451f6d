#include "zq3/keyer_probe.h"

#include <cstdio>

#include "core/app_state.h"
#include "image/keyer_image.h"
#include "serial/serial_port.h"
#include "serial/turn_around.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_commands.h"

namespace {

enum { kFirstZq3Version = 30 };

// Sends a host command and reads its one-byte reply into *reply.
// Returns 1 when the reply came.
int Ask(const uint8_t* command, uint32_t length, uint8_t* reply) {
    KeyerWrite(command, length);
    return KeyerRead(reply, 1);
}

void SetLine(char* line, size_t size, const char* text) { std::snprintf(line, size, "%s", text); }

// The IC's loader answers the echo test at once: at its record speed a
// short wait is enough, and keeps a probe of a port without an IC short.
enum { kLoaderEchoWaitMs = 500 };

// One echo test at the loader's record speed, for an IC whose upload was
// cut short and whose loader waits there for records. Only that loader
// listens at this speed: anything else hears the three bytes as one or two
// bytes of noise at its own. 1 when the loader answered, the line staying
// at the record speed; else 0, the line back at 1200 baud.
int LoaderAnswersAtRecordSpeed() {
    uint8_t reply = 0;
    if (KeyerSetSpeed(kKeyerRecordBaud)) {
        KeyerWrite(kKeyerEchoTest, sizeof kKeyerEchoTest);
        if (KeyerReadWithin(&reply, 1, kLoaderEchoWaitMs) && reply == kKeyerEchoLoader) return 1;
    }
    KeyerSetSpeed(kKeyerBaud);
    return 0;
}

// An IC that answers through its loader only: the uploader programs it in
// recovery mode.
int NoOs(KeyerProbeResult* r) {
    SetLine(r->portLine, sizeof r->portLine, "ZQ3 Fail:No O/S");
    AppState.keyerIcType = kIcNoOs;
    return kIcNoOs;
}

int Probe(KeyerProbeResult* r) {
    if (AppState.keyerHandle == nullptr) {
        // Whatever portOpen says: another probe may have taken the port for
        // the synchronous channel, and only the keyer channel reaches the IC.
        if (AppState.portHandle != nullptr) SerialClose();
        int code = KeyerOpen(AppState.comPort);
        if (code != 0) {
            SetLine(r->portLine, sizeof r->portLine, KeyerOpenFailureText(code));
            return -1;
        }
    } else {
        // A channel kept open since a run that ended early may hold what
        // came after its last read (the rest of a noisy reply, a late one):
        // the probe's echo test must read its own reply, not that.
        KeyerDiscardInput();
    }

    // A line left at the loader's speed by an upload cut short is asked
    // there first; the echo test at 1200 baud follows when the loader is
    // not there, and leads to the loader's speed when nothing answers it.
    const bool atRecordSpeed = KeyerLineSpeed() == kKeyerRecordBaud;
    if (atRecordSpeed && LoaderAnswersAtRecordSpeed()) return NoOs(r);
    uint8_t reply = 0;
    if (!Ask(kKeyerEchoTest, sizeof kKeyerEchoTest, &reply)) {
        if (!atRecordSpeed && LoaderAnswersAtRecordSpeed()) return NoOs(r);
        SetLine(r->portLine, sizeof r->portLine, "ZQ3 Fail:no response");
        return -1;
    }
    if (reply == kKeyerEchoLoader) return NoOs(r);
    if (reply != kKeyerEchoOs) {
        SetLine(r->portLine, sizeof r->portLine, "ZQ3 Fail:echo mismatch");
        return -1;
    }

    // A reply that does not come leaves the field as it was.
    Ask(kKeyerVersionQuery, sizeof kKeyerVersionQuery, &AppState.keyerFwVersion);
    Ask(kKeyerRevisionQuery, sizeof kKeyerRevisionQuery, &AppState.keyerFwRevision);
    if (AppState.keyerFwVersion < kFirstZq3Version) {
        SetLine(r->portLine, sizeof r->portLine, "Only supports ZQ3");
        return -1;
    }
    if (AppState.keyerFwVersion >= 31 || AppState.keyerFwRevision >= 4)
        AppState.keyerIcType = QueryKeyerIcType();
    else
        AppState.keyerIcType = kIcAmber;

    FormatKeyerVersionLine(r->portLine, sizeof r->portLine, AppState.keyerIcType, AppState.keyerFwVersion,
                           AppState.keyerFwRevision);
    const char* name = KeyerIcName(AppState.keyerIcType);
    if (name != nullptr) std::snprintf(r->variantLine, sizeof r->variantLine, "ZQ IC: %s", name);
    return AppState.keyerFwVersion;
}

}  // namespace

const char* const kKeyerProbeWaitingText = "Testing ZQ Interface    ";
const char* const kKeyerUpdateCompletedText = "ZQ3 IC Update Completed";

const char* KeyerOpenFailureText(int code) {
    switch (code) {
        case kKeyerOpenFailed: return "ZQ Fail:comm open";
        case kKeyerGetStateFailed: return "ZQ Fail:get comm state";
        case kKeyerSetStateFailed: return "ZQ Fail:set comm state";
        case kKeyerPurgeFailed: return "ZQ Fail:comm purge";
        default: return "Comm Fail:unknown error";
    }
}

int ProbeKeyer(KeyerProbeResult* result) {
    KeyerProbeResult unused;
    KeyerProbeResult* r = result != nullptr ? result : &unused;
    *r = KeyerProbeResult();
    return Probe(r);
}

const char* KeyerProbeResultText(int probeResult) {
    if (probeResult < 0) return "ZQ3 Error, check com port";
    if (probeResult == kIcNoOs) return "Click FW Update";
    return "ZQ3 IC Test Passed";
}

int KeyerTimedEcho() {
    // Only the operating firmware answers at 1200 baud; a line left at the
    // loader's speed is an IC in its loader, which is not asked.
    if (KeyerLineSpeed() != kKeyerBaud) return 0;
    uint8_t reply = 0;
    const double started = TurnAroundClock();
    if (!Ask(kKeyerEchoTest, sizeof kKeyerEchoTest, &reply) || reply != kKeyerEchoOs) return 0;
    TurnAroundNote(kKeyerBaud, sizeof kKeyerEchoTest + 1, started);
    return 1;
}

uint8_t QueryKeyerIcType() {
    uint8_t reply = 0;
    if (!Ask(kKeyerIcTypeQuery, sizeof kKeyerIcTypeQuery, &reply)) return 0;
    return reply;
}

int FormatKeyerVersionLine(char* line, size_t size, uint8_t icType, uint8_t version, uint8_t revision) {
    const char* name = KeyerIcName(icType);
    if (name == nullptr) return std::snprintf(line, size, "Unknown ZQ IC type %d, F/W ver %d", icType, version);
    if (icType == kIcAmber) return std::snprintf(line, size, "ZQ3 F/W ver %d.%02d", version, revision);
    return std::snprintf(line, size, "ZQ F/W revision %d.%02d", version,
                         static_cast<int>(revision) - KeyerVariantOffset(icType));
}
