#include "uploader/run_plans.h"

#include <cstring>

#include "core/app_state.h"
#include "image/hex_image.h"
#include "psoc/psoc_probe.h"
#include "psoc/psoc_protocol.h"
#include "serial/frame.h"
#include "serial/line_quiet.h"
#include "t62/t62_probe.h"
#include "t62/t62_protocol.h"
#include "t62/t62_readback.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_commands.h"
#include "zq3/keyer_upload.h"

namespace {

// The T62: framed packets at 115200, each byte 0x04, 0x05, 0x55 escaped.

uint32_t FramedBytes(const uint8_t* payload, uint16_t count) {
    uint8_t frame[FrameCapacity(kT62HeaderBytes + kT62RowBytes)];
    return static_cast<uint32_t>(BuildFrame(payload, count, frame));
}

// A short command and its reply, the command and the address's two low
// bytes (erase, and the reply to a write).
uint32_t ShortReply(uint8_t command, int32_t address) {
    uint8_t payload[4] = {command, 0x01, static_cast<uint8_t>(address), static_cast<uint8_t>(address >> 8)};
    return FramedBytes(payload, sizeof payload);
}

void AddErase(LinePlan* plan, int32_t address) {
    uint8_t request[kT62HeaderBytes];
    T62PutHeader(request, 0x03, 0x01, address);
    plan->push_back({kT62ProbeBaud, FramedBytes(request, kT62HeaderBytes), ShortReply(0x03, address), 0});
}

// A row written.
void AddWrite(LinePlan* plan, int32_t address, const uint8_t* row) {
    uint8_t payload[kT62HeaderBytes + kT62RowBytes];
    T62PutHeader(payload, 0x02, 0x01, address);
    std::memcpy(payload + kT62HeaderBytes, row, kT62RowBytes);
    plan->push_back({kT62ProbeBaud, FramedBytes(payload, sizeof payload), ShortReply(0x02, address), 0});
}

// A row read back, as the device keeps it (no pad bytes).
void AddRead(LinePlan* plan, int32_t address, const uint8_t* row) {
    uint8_t payload[kT62HeaderBytes + kT62RowBytes];
    T62PutHeader(payload, 0x01, 0x40, address);
    std::memcpy(payload + kT62HeaderBytes, row, kT62RowBytes);
    for (int i = 3; i < kT62RowBytes; i += 4) payload[kT62HeaderBytes + i] = 0;
    plan->push_back({kT62ProbeBaud, FramedBytes(payload, kT62HeaderBytes), FramedBytes(payload, sizeof payload), 0});
}

}  // namespace

void T62RunPlan(LinePlan* plan) {
    uint8_t fallback[kT62RowBytes];
    std::memset(fallback, 0xFF, sizeof fallback);
    const uint8_t jump[8] = {0x00, 0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    std::memcpy(fallback, jump, sizeof jump);
    AddErase(plan, 0);
    AddWrite(plan, 0, fallback);
    int32_t rows = T62ApplicationRows(AppState.hexImageLength);
    for (int32_t i = 0; i < rows; ++i) {
        int32_t address = kT62ApplicationStart + i * kT62RowAddresses;
        if (i % kT62RowsPerErase == 0) AddErase(plan, address);
        AddWrite(plan, address, AppState.hexImage + 2 * address);
        AddRead(plan, address, AppState.hexImage + 2 * address);
    }
    AddErase(plan, 0);
    for (int32_t address = 0; address < kT62VectorEnd; address += kT62RowAddresses)
        AddWrite(plan, address, AppState.hexImage + 2 * address);
    for (int32_t address = 0; address < kT62VectorEnd; address += kT62RowAddresses)
        AddRead(plan, address, AppState.hexImage + 2 * address);
}

// The PSoC: 216 blocks echoed at 19200, each after the line's quiet time,
// then the finish byte and its reply.
void PsocRunPlan(LinePlan* plan) {
    const double quiet = LineQuietMicros(kPsocProbeBaud) / 1e6;
    for (int32_t block = 0; block < kPsocImageEnd; block += kPsocBlockBytes)
        plan->push_back({kPsocProbeBaud, kPsocRequestBytes, kPsocEchoBytes, quiet});
    plan->push_back({kPsocProbeBaud, 1, 1, 0});
}

// The ZQ3: the hand-over and the echo test at 1200, 200 ms after the speed
// change, the records at 9600, each after the line's quiet time, and 600 ms
// after the end.
void Zq3RunPlan(LinePlan* plan) {
    plan->push_back({kKeyerBaud, sizeof kKeyerHandOver, 0, 0});
    plan->push_back({kKeyerBaud, sizeof kKeyerEchoTest, 1, 0});
    plan->push_back({kKeyerBaud, 1, 0, 0.200});
    int32_t frames = KeyerUploadFrames(AppState.keyerImage);
    const double quiet = LineQuietMicros(kKeyerRecordBaud) / 1e6;
    for (int32_t i = 0; i < frames; ++i)
        plan->push_back({kKeyerRecordBaud, kKeyerFrameBytes, kKeyerReplyBytes, quiet});
    plan->push_back({kKeyerRecordBaud, 1, 0, 0.600});
}
