#include "psoc/psoc_probe.h"

#include <cstdio>

#include "core/app_state.h"
#include "serial/serial_port.h"
#include "serial/turn_around.h"

namespace {
enum { kIdentifyRequest = 0xCC, kIdentifyReply = 0x33, kIdentifyReplyBytes = 2 };
}  // namespace

const char* const kPsocProbeWaitingText = "Comm port opened sucessfully";
const char* const kPsocUpdateCompletedText = "PSOC Update Completed";

int32_t PsocProbeOpen(int32_t port) { return SerialOpen(port, kPsocProbeBaud, kPsocProbeReadTimeoutMs); }

void PsocProbeIdentify(PsocProbeResult* result) {
    *result = PsocProbeResult();
    AppState.txBuffer[0] = kIdentifyRequest;
    uint32_t written = 0;
    const double started = TurnAroundClock();
    if (!PortWrite(AppState.portHandle, AppState.txBuffer, 1, &written) || written != 1) {
        result->outcome = kPsocProbeNotAccessible;
        return;
    }
    uint32_t got = 0;
    if (!PortRead(AppState.portHandle, AppState.rxBuffer, kIdentifyReplyBytes, &got) || got < kIdentifyReplyBytes) {
        result->outcome = kPsocProbeNotResponding;
        return;
    }
    TurnAroundNote(kPsocProbeBaud, 1 + kIdentifyReplyBytes, started);
    if (AppState.rxBuffer[0] != kIdentifyReply) {
        result->outcome = kPsocProbeNotBootLoader;
        return;
    }
    result->outcome = kPsocProbeConnected;
    result->version = AppState.rxBuffer[1];
}

void FormatPsocProbeLine(const PsocProbeResult* result, char* line, size_t size) {
    switch (result->outcome) {
        case kPsocProbeConnected:
            std::snprintf(line, size, "PSoC Boot Loader ver %c", static_cast<char>(result->version));
            return;
        case kPsocProbeNotAccessible:
            std::snprintf(line, size, "PSoC is not accessible.");
            return;
        case kPsocProbeNotResponding:
            std::snprintf(line, size, "PSoC is not responding.");
            return;
    }
    std::snprintf(line, size, "%s", kPsocProbeWaitingText);
}
