#include "psoc/psoc_protocol.h"

#include <cstring>

#include "core/app_state.h"
#include "core/line_log.h"
#include "psoc/psoc_probe.h"
#include "serial/frame.h"
#include "serial/line_quiet.h"
#include "serial/serial_port.h"

namespace {
uint32_t InputWaiting() { return PortInputWaiting(AppState.portHandle); }
}  // namespace

int PsocWriteBlock(int32_t address) {
    uint8_t* request = AppState.txBuffer;
    request[0] = 0x55;
    request[1] = static_cast<uint8_t>(address / kPsocBlockBytes);
    std::memcpy(request + 2, AppState.hexImage + address, kPsocBlockBytes);
    request[66] = 0x04;
    uint32_t done = 0;
    // The loader echoes a block once it has all of it: bytes that come
    // before the block goes out are no echo of it (an echo sent twice,
    // noise). The echoes are out of step with the blocks, and one taken
    // earlier may have been another block's: this block is not confirmed,
    // and is not sent. The line is watched for a few character times first,
    // for a copy that follows the last echo byte by byte.
    uint32_t early = InputWithin(InputWaiting, LineQuietMicros(kPsocProbeBaud));
    if (early > 0) {
        LineLogNote("psoc block %d: %lu bytes came before it was sent: echoes out of step",
                    static_cast<int>(address / kPsocBlockBytes), static_cast<unsigned long>(early));
        return 1;
    }
    if (!PortWrite(AppState.portHandle, request, kPsocRequestBytes, &done)) return 1;
    // Only a complete echo confirms a block: a short or failed read would
    // otherwise be compared with the stale bytes of an earlier reply.
    if (!PortRead(AppState.portHandle, AppState.rxBuffer, kPsocEchoBytes, &done)) return 1;
    if (done < kPsocEchoBytes) return 1;
    return std::memcmp(AppState.rxBuffer + 1, request + 2, kPsocBlockBytes) != 0;
}

int PsocFinish() {
    uint8_t byte = 0x5A;
    uint32_t done = 0;
    bool written = PortWrite(AppState.portHandle, &byte, 1, &done) != 0;
    bool read = PortRead(AppState.portHandle, &byte, 1, &done) != 0;
    if (!written) return kPsocFinishWriteError;
    if (!read) return kPsocFinishReadError;
    if (done == 0) return kPsocFinishNoByte;
    return byte;
}

int32_t PsocReset() {
    const uint8_t payload[2] = {0x08, 0x00};
    return SerialWriteFrame(AppState.portHandle, payload, sizeof payload);
}

int32_t PsocProgram(std::atomic<int32_t>* address, std::atomic<int32_t>* bytes) {
    int32_t outcome = 0;
    for (int32_t block = 0; block < kPsocImageEnd; block += kPsocBlockBytes) {
        if (PsocWriteBlock(block)) {
            outcome = kPsocVerifyFailed;
            break;
        }
        *address = block + kPsocBlockBytes;
        *bytes = block + kPsocBlockBytes;
    }
    int finish = PsocFinish();
    if (outcome != 0) return outcome;
    if (finish == kPsocFinishWriteError) return kPsocFinishWriteFailed;
    if (finish == kPsocFinishReadError) return kPsocFinishReadFailed;
    if (finish == kPsocFinishReply) return kPsocSuccess;
    return kPsocSyncError;
}

const char* PsocOutcomeMessage(int32_t code) {
    switch (code) {
        case kPsocSuccess: return "PSoC Programing Completed Successfully, Press Encoder to restart.";
        case kPsocFinishWriteFailed: return "Error: Flash Write !";
        case kPsocVerifyFailed: return "Error: Flash Verify !";
        case kPsocEraseFailed: return "Error: Flash Erase !";
        case kPsocSyncError: return "Error: Sync Error !";
        case kPsocFinishReadFailed: return "Error: Flash Read !";
        default: return "Error: Sync Fail !";
    }
}
