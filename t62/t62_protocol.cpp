#include "t62/t62_protocol.h"

#include <cstring>

#include "core/app_state.h"
#include "core/line_log.h"
#include "serial/frame.h"
#include "serial/serial_port.h"

namespace {

const uint16_t kAttempts = 2;
const int kFullRowReply = kT62HeaderBytes + kT62RowBytes;

// Erase and write replies are only checked for being valid frames.
uint8_t scratchReply[kT62EraseLimit + 1];

// Sends the write request already built in txBuffer.
int SendRowInTxBuffer() {
    return T62Transact(AppState.txBuffer, kFullRowReply, scratchReply, kT62WriteLimit, kAttempts) >= 0;
}

// A reply that holds a header (and its checksum byte) but not the one of
// request: the answer to another request, come late.
bool EchoesAnotherRequest(const uint8_t* request, const uint8_t* reply, int32_t n) {
    return n > kT62HeaderBytes && std::memcmp(request, reply, kT62HeaderBytes) != 0;
}

// T62Transact, for a reply whose good form is at least replyBytes long on
// the wire (0: no length known), which the channel may then gather in few
// system calls. With echoed, the reply begins with the request's header,
// and one that begins with another header counts as a corrupt reply.
int32_t Exchange(const uint8_t* request, uint16_t length, uint8_t* reply, uint16_t limit, uint16_t attempts,
                 uint32_t replyBytes, bool echoed) {
    for (uint16_t attempt = 0; attempt < attempts; ++attempt) {
        // What is left of the failed reply (or the reply itself, come late)
        // would otherwise be read as the answer to the request sent again;
        // and whatever came before a request goes out (a reply sent twice,
        // noise) is no answer to it either. Every row is read back, so the
        // exchange can go on in step once that is gone.
        if (attempt > 0 || PortInputWaiting(AppState.portHandle) > 0) PortDiscardInput(AppState.portHandle);
        int32_t sent = SerialWriteFrame(AppState.portHandle, request, length);
        if (sent < 0) return sent;
        if (replyBytes) PortExpect(AppState.portHandle, replyBytes);
        int32_t n = SerialReadFrame(AppState.portHandle, reply, limit);
        if (echoed && EchoesAnotherRequest(request, reply, n)) {
            LineLogNote("t62 command %02x: reply to %02x %02x %02x %02x %02x, attempt %d of %d", request[0], reply[0],
                        reply[1], reply[2], reply[3], reply[4], attempt + 1, attempts);
            continue;
        }
        if (n != kFrameTimeout && n != kFrameChecksum) return n;
        LineLogNote("t62 command %02x: %s, attempt %d of %d", request[0],
                    n == kFrameTimeout ? "no reply" : "checksum error", attempt + 1, attempts);
    }
    return kT62NoValidReply;
}

}  // namespace

void T62PutHeader(uint8_t* request, uint8_t command, uint8_t count, int32_t address) {
    request[0] = command;
    request[1] = count;
    request[2] = static_cast<uint8_t>(address);
    request[3] = static_cast<uint8_t>(address >> 8);
    request[4] = static_cast<uint8_t>(address >> 16);
}

int32_t T62Transact(const uint8_t* request, uint16_t length, uint8_t* reply, uint16_t limit, uint16_t attempts) {
    return Exchange(request, length, reply, limit, attempts, 0, false);
}

int T62EraseBlock(int32_t address) {
    uint8_t request[kT62HeaderBytes];
    T62PutHeader(request, 0x03, 0x01, address);
    return T62Transact(request, kT62HeaderBytes, scratchReply, kT62EraseLimit, kAttempts) >= 0;
}

int T62WriteRow(int32_t address) {
    T62PutHeader(AppState.txBuffer, 0x02, 0x01, address);
    std::memcpy(AppState.txBuffer + kT62HeaderBytes, AppState.hexImage + 2 * address, kT62RowBytes);
    return SendRowInTxBuffer();
}

int32_t T62ReadRow(int32_t address, uint8_t* reply) {
    uint8_t request[kT62HeaderBytes];
    T62PutHeader(request, 0x01, 0x40, address);
    int32_t n = Exchange(request, kT62HeaderBytes, reply, kT62ReadLimit, kAttempts, kT62RowFrameBytes, true);
    return n >= 0 ? n - 1 : n;
}

int32_t T62ReadRowBytes(int32_t address, uint8_t* row) {
    int32_t n = T62ReadRow(address, AppState.rxBuffer);
    if (n < 0) return n;
    if (n < kFullRowReply) return 0;
    std::memcpy(row, AppState.rxBuffer + kT62HeaderBytes, kT62RowBytes);
    return 1;
}

int T62VerifyRow(int32_t address) {
    // A row that cannot be read back in full has not been verified, and an
    // unverified row must not pass as a good one: it counts as a difference.
    int32_t n = T62ReadRow(address, AppState.rxBuffer);
    if (n < kFullRowReply) return 1;
    return T62RowDifference(AppState.rxBuffer + kT62HeaderBytes, AppState.txBuffer + kT62HeaderBytes) >= 0;
}

int T62RowDifference(const uint8_t* readBack, const uint8_t* expected) {
    for (int i = 0; i < kT62RowBytes; i += 4) {
        // The fourth byte of each word is a pad byte the device need not keep.
        for (int j = 0; j < 3; ++j)
            if (readBack[i + j] != expected[i + j]) return i + j;
    }
    return -1;
}

int T62Reset() {
    const uint8_t request[2] = {0x08, 0x00};
    std::memcpy(AppState.txBuffer, request, sizeof request);
    SerialWriteFrame(AppState.portHandle, AppState.txBuffer, sizeof request);
    return 1;
}

int T62InstallFallback() {
    if (!T62EraseBlock(0)) return 0;
    // A row whose first two words jump to the loader at 0x400.
    static const uint8_t kJumpToLoader[8] = {0x00, 0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    T62PutHeader(AppState.txBuffer, 0x02, 0x01, 0);
    std::memset(AppState.txBuffer + kT62HeaderBytes, 0xFF, kT62RowBytes);
    std::memcpy(AppState.txBuffer + kT62HeaderBytes, kJumpToLoader, sizeof kJumpToLoader);
    return SendRowInTxBuffer();
}

int T62InstallVectors() {
    if (!T62EraseBlock(0)) return 0;
    for (int32_t address = 0; address < kT62VectorEnd; address += kT62RowAddresses)
        if (!T62WriteRow(address)) return 0;
    return 1;
}

int T62VerifyVectors() {
    uint8_t row[kT62RowBytes];
    for (int32_t address = 0; address < kT62VectorEnd; address += kT62RowAddresses) {
        if (T62ReadRowBytes(address, row) != 1) return 0;
        if (T62RowDifference(row, AppState.hexImage + 2 * address) >= 0) {
            LineLogNote("t62 vector row %03x: not as written", static_cast<int>(address));
            return 0;
        }
    }
    return 1;
}
