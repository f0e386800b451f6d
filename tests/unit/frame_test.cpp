// The frame codec against the loader's wire examples, through a real pipe.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "serial/frame.h"
#include "serial/port_posix.h"
#include "serial/serial_port.h"
#include "tools/devsim/t62_frame.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// The frame as the program builds it.
Bytes Frame(const Bytes& payload) {
    Bytes out(FrameCapacity(payload.size()));
    out.resize(BuildFrame(payload.data(), static_cast<uint16_t>(payload.size()), out.data()));
    return out;
}

// The frame as the simulated loader builds it, with an encoder of its own:
// a fault the program's reader shared with its writer would not round-trip.
Bytes DeviceFrame(const Bytes& payload) { return BuildFrame(payload, false); }

// A pipe whose read end is wrapped as a port, fed with the given bytes.
struct PipePort {
    int fds[2];
    PosixPort port;
    explicit PipePort(const Bytes& input, uint32_t timeoutMs = 200) {
        EXPECT_EQ(0, pipe2(fds, O_NONBLOCK));
        if (!input.empty()) {
            EXPECT_EQ(static_cast<ssize_t>(input.size()), write(fds[1], input.data(), input.size()));
        }
        port = PosixPort{fds[0], timeoutMs};
    }
    ~PipePort() {
        close(fds[0]);
        close(fds[1]);
    }
    int32_t Read(uint8_t* buffer, uint16_t limit) { return SerialReadFrame(&port, buffer, limit); }
};

TEST(FrameWrite, WireExamples) {
    EXPECT_EQ((Bytes{0x55, 0x55, 0x00, 0x01, 0xFF, 0x04}), Frame({0x00, 0x01}));
    EXPECT_EQ((Bytes{0x55, 0x55, 0x05, 0x55, 0xAB, 0x04}), Frame({0x55}));
    EXPECT_EQ((Bytes{0x55, 0x55, 0x05, 0x04, 0xFC, 0x04}), Frame({0x04}));
    // The checksum 0x05 is escaped like a payload byte.
    EXPECT_EQ((Bytes{0x55, 0x55, 0xFB, 0x05, 0x05, 0x04}), Frame({0xFB}));
    EXPECT_EQ((Bytes{0x55, 0x55, 0x00, 0x04}), Frame({}));
    EXPECT_EQ((Bytes{0x55, 0x55, 0x08, 0x00, 0xF8, 0x04}), Frame({0x08, 0x00}));
    EXPECT_EQ((Bytes{0x55, 0x55, 0x03, 0x01, 0x00, 0x0C, 0x00, 0xF0, 0x04}), Frame({0x03, 0x01, 0x00, 0x0C, 0x00}));
    EXPECT_EQ((Bytes{0x55, 0x55, 0x01, 0x40, 0x00, 0x0C, 0x00, 0xB3, 0x04}), Frame({0x01, 0x40, 0x00, 0x0C, 0x00}));
}

TEST(FrameWrite, AllEscapedPayloadFitsCapacityAndWritesOneFrame) {
    Bytes payload(261, 0x55);
    Bytes frame = DeviceFrame(payload);
    EXPECT_EQ(2u + 2 * 261 + 1 + 1, frame.size());  // the checksum 0x57 needs no escape
    int fds[2];
    ASSERT_EQ(0, pipe2(fds, O_NONBLOCK));
    PosixPort port{fds[1], 100};
    EXPECT_EQ(261, SerialWriteFrame(&port, payload.data(), 261));
    Bytes wire(1200);
    ssize_t n = read(fds[0], wire.data(), wire.size());
    wire.resize(n > 0 ? n : 0);
    EXPECT_EQ(frame, wire);
    close(fds[0]);
    close(fds[1]);
}

TEST(FrameWrite, FailedWriteGivesMinusOne) {
    PosixPort closed{-1, 100};
    uint8_t payload[2] = {0, 1};
    EXPECT_EQ(-1, SerialWriteFrame(&closed, payload, 2));
}

TEST(FrameRead, RoundTripsEveryByteValue) {
    Bytes payload;
    for (int i = 0; i < 256; ++i) payload.push_back(static_cast<uint8_t>(i));
    payload.resize(261, 0x05);
    PipePort p(DeviceFrame(payload));
    uint8_t buffer[262];
    ASSERT_EQ(262, p.Read(buffer, 261));
    EXPECT_EQ(payload, Bytes(buffer, buffer + 261));
}

TEST(FrameRead, EmptyPayloadStoresTheChecksumOnly) {
    PipePort p(DeviceFrame({}));
    uint8_t buffer[17] = {0xEE};
    EXPECT_EQ(1, p.Read(buffer, 16));
    EXPECT_EQ(0x00, buffer[0]);
}

TEST(FrameRead, LoneStartByteAndNoiseAreSkipped) {
    PipePort p({0x55, 0x17, 0x55, 0x55, 0x00, 0x01, 0xFF, 0x04});
    uint8_t buffer[17];
    ASSERT_EQ(3, p.Read(buffer, 16));
    EXPECT_EQ((Bytes{0x00, 0x01, 0xFF}), Bytes(buffer, buffer + 3));
}

TEST(FrameRead, StartByteInsideBodyRestartsFrameAndSum) {
    // An abandoned body whose bytes would spoil the sum, then a good frame
    // whose first start byte is the 0x55 that abandoned it.
    PipePort p({0x55, 0x55, 0x10, 0x20, 0x55, 0x55, 0x00, 0x01, 0xFF, 0x04});
    uint8_t buffer[17];
    ASSERT_EQ(3, p.Read(buffer, 16));
    EXPECT_EQ((Bytes{0x00, 0x01, 0xFF}), Bytes(buffer, buffer + 3));
}

TEST(FrameRead, ChecksumErrorIsReported) {
    PipePort p({0x55, 0x55, 0x00, 0x01, 0xFE, 0x04});
    uint8_t buffer[17];
    EXPECT_EQ(kFrameChecksum, p.Read(buffer, 16));
}

TEST(FrameRead, LimitAcceptsLimitPlusOneBytesAndRefusesMore) {
    Bytes sixteen(16, 0x11);
    PipePort ok(DeviceFrame(sixteen));  // 16 payload bytes + checksum = 17 body bytes
    uint8_t buffer[17];
    EXPECT_EQ(17, ok.Read(buffer, 16));

    Bytes seventeen(17, 0x11);
    uint8_t guarded[18 + 8];
    std::fill(guarded, guarded + sizeof guarded, 0xEE);
    PipePort tooLong(DeviceFrame(seventeen));
    EXPECT_EQ(kFrameTooLong, tooLong.Read(guarded, 16));
    for (size_t i = 17; i < sizeof guarded; ++i) EXPECT_EQ(0xEE, guarded[i]) << "byte " << i;
}

TEST(FrameRead, SilenceTimesOutInHuntBodyAndAfterEscape) {
    uint8_t buffer[17];
    for (const Bytes& partial : {Bytes{}, Bytes{0x55}, Bytes{0x55, 0x55, 0x01}, Bytes{0x55, 0x55, 0x05}}) {
        PipePort p(partial, 100);
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(kFrameTimeout, p.Read(buffer, 16));
        auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
        EXPECT_GE(ms, 90);
        EXPECT_LT(ms, 1000);
    }
}

TEST(FrameRead, EndlessNoiseWithoutStartPairIsBounded) {
    Bytes noise(kFrameHuntLimit + 10, 0x17);
    PipePort p(noise, 2000);
    uint8_t buffer[17];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kFrameTimeout, p.Read(buffer, 16));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));
}

// A peer that never stops sending: a stream of start bytes, of frame
// starts that never end, or of escapes. Whatever it sends, the reader gives
// up as on silence once it has read its bound, long before the stream ends.
TEST(FrameRead, EndlessStreamIsGivenUpAfterTheBound) {
    const Bytes patterns[] = {{0x55}, {0x55, 0x55, 0x01, 0x02, 0x03}, {0x05}};
    for (uint16_t limit : {uint16_t{16}, uint16_t{261}}) {
        for (const Bytes& pattern : patterns) {
            Bytes stream;
            while (stream.size() < 4 * FrameReadBound(limit)) stream.insert(stream.end(), pattern.begin(), pattern.end());
            PipePort p(stream, 2000);
            uint8_t buffer[262];
            auto start = std::chrono::steady_clock::now();
            EXPECT_EQ(kFrameTimeout, p.Read(buffer, limit));
            auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
            EXPECT_LT(ms.count(), 1000);
            // Bytes the reader took: those gone from the pipe, less those
            // its read-ahead still holds.
            int queued = 0;
            ASSERT_EQ(0, ioctl(p.fds[0], FIONREAD, &queued));
            size_t taken = stream.size() - queued - (p.port.readAhead.end - p.port.readAhead.next);
            EXPECT_LE(taken, FrameReadBound(limit)) << "limit " << limit << ", pattern of " << pattern.size();
        }
    }
}

TEST(FrameRead, FailedReadGivesMinusOne) {
    PosixPort closed{-1, 100};
    uint8_t buffer[17];
    EXPECT_EQ(kFrameReadFailed, SerialReadFrame(&closed, buffer, 16));
}

TEST(SerialName, WindowsOpenNameRule) {
    char name[16];
    SerialDeviceName(1, name, sizeof name);
    EXPECT_STREQ("COM1", name);
    SerialDeviceName(9, name, sizeof name);
    EXPECT_STREQ("COM9", name);
    SerialDeviceName(10, name, sizeof name);
    EXPECT_STREQ("\\\\.\\COM10", name);
    SerialDeviceName(36, name, sizeof name);
    EXPECT_STREQ("\\\\.\\COM36", name);
}

}  // namespace
