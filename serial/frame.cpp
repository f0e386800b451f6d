#include "serial/frame.h"

#include <vector>

#include "serial/serial_port.h"

namespace {

const uint8_t kStart = 0x55;
const uint8_t kEnd = 0x04;
const uint8_t kEscape = 0x05;

bool NeedsEscape(uint8_t b) { return b == kEnd || b == kEscape || b == kStart; }

size_t PutEscaped(uint8_t* out, size_t at, uint8_t b) {
    if (NeedsEscape(b)) out[at++] = kEscape;
    out[at++] = b;
    return at;
}

// One one-byte read: 1 with the byte, kFrameReadFailed or kFrameTimeout.
// *left is the number of bytes this frame may still take; none left is
// given up as a timeout.
int ReadByte(PortHandle port, uint8_t* b, size_t* left) {
    if (*left == 0) return kFrameTimeout;
    --*left;
    uint32_t got = 0;
    if (!PortRead(port, b, 1, &got)) return kFrameReadFailed;
    if (got == 0) return kFrameTimeout;
    return 1;
}

}  // namespace

size_t BuildFrame(const uint8_t* payload, uint16_t count, uint8_t* frame) {
    size_t n = 0;
    frame[n++] = kStart;
    frame[n++] = kStart;
    uint8_t sum = 0;
    for (uint16_t i = 0; i < count; ++i) {
        n = PutEscaped(frame, n, payload[i]);
        sum = static_cast<uint8_t>(sum + payload[i]);
    }
    n = PutEscaped(frame, n, static_cast<uint8_t>(-sum));
    frame[n++] = kEnd;
    return n;
}

int32_t SerialWriteFrame(PortHandle port, const uint8_t* payload, uint16_t count) {
    std::vector<uint8_t> frame(FrameCapacity(count));
    size_t length = BuildFrame(payload, count, frame.data());
    uint32_t written = 0;
    if (!PortWrite(port, frame.data(), static_cast<uint32_t>(length), &written)) return -1;
    return count;
}

int32_t SerialReadFrame(PortHandle port, uint8_t* buffer, uint16_t limit) {
    int need = 2;
    int skipped = 0;
    size_t left = FrameReadBound(limit);
    for (;;) {
        // Hunt for the start pair.
        while (need > 0) {
            uint8_t b;
            int r = ReadByte(port, &b, &left);
            if (r < 0) return r;
            if (b == kStart) {
                --need;
            } else {
                need = 2;
                if (++skipped > kFrameHuntLimit) return kFrameTimeout;
            }
        }
        // Body. The sum covers only the body being read: a 0x55 abandons the
        // body and with it the sum, since the sender's checksum covers only
        // the frame it started after that 0x55.
        uint8_t sum = 0;
        int32_t index = 0;
        for (;;) {
            uint8_t b;
            int r = ReadByte(port, &b, &left);
            if (r < 0) return r;
            if (b == kEnd) {
                if (sum != 0) return kFrameChecksum;
                return index;
            }
            if (b == kStart) {
                need = 1;
                break;
            }
            if (b == kEscape) {
                r = ReadByte(port, &b, &left);
                if (r < 0) return r;
            }
            if (index > limit) return kFrameTooLong;
            buffer[index++] = b;
            sum = static_cast<uint8_t>(sum + b);
        }
    }
}
