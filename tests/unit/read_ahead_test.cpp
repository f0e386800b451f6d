// The synchronous channel's read-ahead, over a socket pair: reads keep their
// bytes and their order whatever was gathered ahead of them, and an announced
// reply that falls short costs one read timeout, then no more.
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <vector>

#include <gtest/gtest.h>

#include "serial/frame.h"
#include "serial/port_posix.h"
#include "serial/serial_port.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// Long enough that a read which has its bytes, slowed by a busy machine,
// still returns well before it: such reads must take under half of it.
const uint32_t kTimeoutMs = 1000;
const int64_t kNoWaitMs = kTimeoutMs / 2;

// fds[0] is the port, fds[1] the device's end.
struct Line {
    int fds[2];
    PosixPort port;
    Line() {
        EXPECT_EQ(0, socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds));
        port = PosixPort{fds[0], kTimeoutMs};
    }
    ~Line() {
        close(fds[0]);
        close(fds[1]);
    }
    void Feed(const Bytes& bytes) {
        EXPECT_EQ(static_cast<ssize_t>(bytes.size()), write(fds[1], bytes.data(), bytes.size()));
    }
    Bytes Read(uint32_t count, int64_t* ms = nullptr) {
        Bytes out(count);
        uint32_t got = 0;
        auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(1, PortRead(&port, out.data(), count, &got));
        auto took = std::chrono::steady_clock::now() - start;
        if (ms) *ms = std::chrono::duration_cast<std::chrono::milliseconds>(took).count();
        out.resize(got);
        return out;
    }
};

Bytes Frame(const Bytes& payload) {
    Bytes out(FrameCapacity(payload.size()));
    out.resize(BuildFrame(payload.data(), static_cast<uint16_t>(payload.size()), out.data()));
    return out;
}

TEST(ReadAhead, FramesThatArriveTogetherAreReadOneAfterTheOther) {
    Line p;
    Bytes first = Frame({0x02, 0x01, 0x00, 0x0C});
    Bytes second = Frame({0x03, 0x01, 0x00, 0x10});
    Bytes both = first;
    both.insert(both.end(), second.begin(), second.end());
    p.Feed(both);
    uint8_t reply[262];
    ASSERT_EQ(5, SerialReadFrame(&p.port, reply, 261));
    EXPECT_EQ(0x02, reply[0]);
    ASSERT_EQ(5, SerialReadFrame(&p.port, reply, 261));
    EXPECT_EQ(0x03, reply[0]);
    EXPECT_EQ(kFrameTimeout, SerialReadFrame(&p.port, reply, 261));
}

// Whatever sizes the reads ask for and whatever was announced, the bytes come
// out as they went in.
TEST(ReadAhead, KeepsEveryByteInOrder) {
    Line p;
    Bytes input;
    uint32_t x = 5;
    for (int i = 0; i < 1500; ++i) {
        x = x * 1103515245u + 12345u;
        input.push_back(static_cast<uint8_t>(x >> 16));
    }
    Bytes output;
    size_t fed = 0;
    for (int round = 0; output.size() < input.size(); ++round) {
        if (fed < input.size()) {
            size_t n = std::min<size_t>(input.size() - fed, 100 + round * 7 % 300);
            p.Feed(Bytes(input.begin() + fed, input.begin() + fed + n));
            fed += n;
        }
        if (round % 3 == 0) PortExpect(&p.port, static_cast<uint32_t>(std::min<size_t>(fed - output.size(), 400)));
        uint32_t want = 1 + round * 13 % 70;
        want = static_cast<uint32_t>(std::min<size_t>(want, fed - output.size()));
        Bytes got = p.Read(want);
        ASSERT_EQ(want, got.size()) << "round " << round;
        output.insert(output.end(), got.begin(), got.end());
    }
    EXPECT_EQ(input, output);
}

TEST(ReadAhead, ShortAnnouncedReplyCostsOneTimeout) {
    Line p;
    p.Feed({0x55, 0x55, 0x00, 0x04});
    PortExpect(&p.port, 265);
    int64_t ms = 0;
    EXPECT_EQ((Bytes{0x55}), p.Read(1, &ms));
    EXPECT_GE(ms, kTimeoutMs - 10) << "the read waited for the announced bytes";
    EXPECT_EQ((Bytes{0x55, 0x00, 0x04}), p.Read(3, &ms));
    EXPECT_LT(ms, kNoWaitMs);
    // The announcement is dropped: an empty line costs one timeout per read.
    EXPECT_TRUE(p.Read(1, &ms).empty());
    EXPECT_GE(ms, kTimeoutMs - 10);
    p.Feed({0x11});
    EXPECT_EQ((Bytes{0x11}), p.Read(1, &ms));
    EXPECT_LT(ms, kNoWaitMs);
}

TEST(ReadAhead, AWriteEndsTheAnnouncement) {
    Line p;
    PortExpect(&p.port, 265);
    uint8_t request[2] = {0x08, 0x00};
    uint32_t written = 0;
    ASSERT_EQ(1, PortWrite(&p.port, request, 2, &written));
    p.Feed({0x42});
    int64_t ms = 0;
    EXPECT_EQ((Bytes{0x42}), p.Read(1, &ms));
    EXPECT_LT(ms, kNoWaitMs) << "no wait for the bytes announced before the write";
}

}  // namespace
