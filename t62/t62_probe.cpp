#include "t62/t62_probe.h"

#include <cstdio>

#include "core/app_state.h"
#include "serial/frame.h"
#include "serial/serial_port.h"
#include "serial/turn_around.h"
#include "t62/t62_protocol.h"

namespace {
// Byte 0, hardware revision, loader minor, loader major, then the checksum.
enum { kIdentifyReplyBytes = 5 };
}  // namespace

const char* const kT62ProbeWaitingText = "Comm port OK, now try T62...";
const char* const kT62UpdateCompletedText = "T62 PIC Update Completed";

int32_t T62ProbeOpen(int32_t port) { return SerialOpen(port, kT62ProbeBaud, kT62ProbeReadTimeoutMs); }

void T62ProbeIdentify(T62ProbeResult* result) {
    *result = T62ProbeResult();
    AppState.txBuffer[0] = 0x00;
    AppState.txBuffer[1] = 0x01;
    uint8_t frame[FrameCapacity(kIdentifyReplyBytes)];
    const double started = TurnAroundClock();
    if (SerialWriteFrame(AppState.portHandle, AppState.txBuffer, 2) <= 0) {
        result->outcome = kT62ProbeNotAccessible;
        return;
    }
    result->replyCount = SerialReadFrame(AppState.portHandle, AppState.rxBuffer, kT62IdentifyLimit);
    // A reply without all four bytes and its checksum is no answer: its
    // versions would be bytes that never arrived.
    if (result->replyCount < kIdentifyReplyBytes) {
        result->outcome = kT62ProbeNotResponding;
        return;
    }
    TurnAroundNote(kT62ProbeBaud,
                   static_cast<uint32_t>(BuildFrame(AppState.txBuffer, 2, frame) +
                                         BuildFrame(AppState.rxBuffer, kIdentifyReplyBytes - 1, frame)),
                   started);
    result->outcome = kT62ProbeConnected;
    result->hwRevision = AppState.rxBuffer[1];
    result->loaderMinor = AppState.rxBuffer[2];
    result->loaderMajor = AppState.rxBuffer[3];
}

void FormatT62ProbeLines(const T62ProbeResult* result, char* portLine, size_t portSize, char* hwLine,
                         size_t hwSize) {
    hwLine[0] = '\0';
    switch (result->outcome) {
        case kT62ProbeNotAccessible:
            std::snprintf(portLine, portSize, "T62 is not accessible.");
            return;
        case kT62ProbeNotResponding:
            std::snprintf(portLine, portSize, "T62 is not responding: %d", static_cast<int>(result->replyCount));
            return;
    }
    std::snprintf(portLine, portSize, "F/W Loader v%u.%u Connected", static_cast<unsigned>(result->loaderMajor),
                  static_cast<unsigned>(result->loaderMinor));
    std::snprintf(hwLine, hwSize, "T62 H/W Revision %c", static_cast<char>(static_cast<uint8_t>(result->hwRevision + 0x40)));
}
