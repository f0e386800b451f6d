#include "zq3/keyer_probe.h"

#include <cstdio>

#include "core/app_state.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_commands.h"

namespace {

const int kPortLine = 4061;      // status lines of the probe
const int kHardwareLine = 4059;  // the main window shows the IC variant there

const char* OpenFailureText(int code) {
    switch (code) {
        case kKeyerOpenFailed: return "ZQ Fail:comm open";
        case kKeyerGetStateFailed: return "ZQ Fail:get comm state";
        case kKeyerSetStateFailed: return "ZQ Fail:set comm state";
        case kKeyerPurgeFailed: return "ZQ Fail:comm purge";
        default: return "Comm Fail:unknown error";
    }
}

// Sends a host command and reads its one-byte reply into *reply.
// Returns 1 when the reply came.
int Ask(const uint8_t* command, uint32_t length, uint8_t* reply) {
    KeyerWrite(command, length);
    return KeyerRead(reply, 1);
}

}  // namespace

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
                         static_cast<int>(revision) - KeyerRevisionOffset(icType));
}

int ProbeKeyer(WindowHandle window) {
    PlatformSetControlText(window, kPortLine, "Testing ZQ Interface    ");
    if (AppState.portOpen == 0) {
        int code = KeyerOpen(AppState.comPort);
        if (code != 0) {
            PlatformSetControlText(window, kPortLine, OpenFailureText(code));
            return -1;
        }
    }

    uint8_t reply = 0;
    if (!Ask(kKeyerEchoTest, sizeof kKeyerEchoTest, &reply)) {
        PlatformSetControlText(window, kPortLine, "ZQ3 Fail:no response");
        return -1;
    }
    if (reply == kKeyerEchoLoader) {
        PlatformSetControlText(window, kPortLine, "ZQ3 Fail:No O/S");
        AppState.keyerIcType = kIcNoOs;
        return kIcNoOs;
    }
    if (reply != kKeyerEchoOs) {
        PlatformSetControlText(window, kPortLine, "ZQ3 Fail:echo mismatch");
        return -1;
    }

    // A reply that does not come leaves the field as it was.
    Ask(kKeyerVersionQuery, sizeof kKeyerVersionQuery, &AppState.keyerFwVersion);
    Ask(kKeyerRevisionQuery, sizeof kKeyerRevisionQuery, &AppState.keyerFwRevision);
    if (AppState.keyerFwVersion < 30) {
        PlatformSetControlText(window, kPortLine, "Only supports ZQ3");
        return -1;
    }
    if (AppState.keyerFwVersion >= 31 || AppState.keyerFwRevision >= 4)
        AppState.keyerIcType = QueryKeyerIcType();
    else
        AppState.keyerIcType = kIcAmber;

    char line[64];
    FormatKeyerVersionLine(line, sizeof line, AppState.keyerIcType, AppState.keyerFwVersion,
                           AppState.keyerFwRevision);
    PlatformSetControlText(window, kPortLine, line);

    // The variant, where the window has a line for it.
    const char* name = KeyerIcName(AppState.keyerIcType);
    if (name != nullptr) {
        char variant[32];
        std::snprintf(variant, sizeof variant, "ZQ IC: %s", name);
        PlatformSetControlText(window, kHardwareLine, variant);
    }
    return AppState.keyerFwVersion;
}
