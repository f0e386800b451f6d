// The simulator's options for timing runs (scripts/speed.sh): the clock note
// that sets its transcript beside other programs' clocks, and paced bytes
// handed to the host in groups.
#include <poll.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/integration/sim_harness.h"

namespace {

typedef std::vector<uint8_t> Bytes;

int64_t ClockUs(clockid_t clock) {
    timespec ts;
    clock_gettime(clock, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000 + ts.tv_nsec / 1000;
}

// The sizes of the chunks in which count bytes arrive on fd.
std::vector<size_t> ReadChunks(int fd, size_t count, int timeoutMs) {
    std::vector<size_t> chunks;
    size_t total = 0;
    int64_t end = ClockUs(CLOCK_MONOTONIC) + timeoutMs * 1000LL;
    while (total < count) {
        int left = static_cast<int>((end - ClockUs(CLOCK_MONOTONIC)) / 1000);
        pollfd p = {fd, POLLIN, 0};
        if (left <= 0 || poll(&p, 1, left) <= 0) break;
        uint8_t buffer[256];
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            chunks.push_back(static_cast<size_t>(n));
            total += static_cast<size_t>(n);
        }
    }
    return chunks;
}

class DevsimTimingTest : public ::testing::Test {
protected:
    void TearDown() override {
        if (fd >= 0) close(fd);
        RemoveSimDir(&sim);
    }
    SimProcess sim;
    int fd = -1;
};

TEST_F(DevsimTimingTest, ClockNoteGivesTimeZeroOnBothClocks) {
    int64_t monoBefore = ClockUs(CLOCK_MONOTONIC);
    ASSERT_TRUE(StartSim(&sim, {"--device", "psoc", "--clock-note"}));
    int64_t monoAfter = ClockUs(CLOCK_MONOTONIC);
    int64_t wallMinusMono = ClockUs(CLOCK_REALTIME) - ClockUs(CLOCK_MONOTONIC);
    StopSim(&sim);
    long long at = -1, mono = 0, real = 0;
    ASSERT_EQ(3, std::sscanf(ReadTextFile(sim.transcript).c_str(), "%lld note clock monotonic %lld realtime %lld", &at,
                             &mono, &real))
        << "the clock note comes first";
    EXPECT_GE(mono, monoBefore);
    EXPECT_LE(mono, monoAfter);
    EXPECT_NEAR(static_cast<double>(real - mono), static_cast<double>(wallMinusMono), 50000.0);
}

// A PSoC echo of 66 bytes in groups of 8 comes as 8 groups and the last 2,
// each no earlier than its last byte's time on a 19200 baud line.
TEST_F(DevsimTimingTest, BurstHandsOverGroups) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "psoc", "--paced-burst", "8"}));
    fd = OpenLine(sim.link, 19200);
    ASSERT_GE(fd, 0);
    Bytes block = {0x55, 0x01};
    block.insert(block.end(), 64, 0x3C);
    block.push_back(0x04);
    int64_t start = ClockUs(CLOCK_MONOTONIC);
    ASSERT_TRUE(WriteLine(fd, block));
    std::vector<size_t> chunks = ReadChunks(fd, 66, 2000);
    int64_t elapsedUs = ClockUs(CLOCK_MONOTONIC) - start;
    size_t total = 0;
    for (size_t i = 0; i < chunks.size(); ++i) {
        total += chunks[i];
        if (i + 1 < chunks.size()) {
            EXPECT_EQ(0u, chunks[i] % 8) << "chunk " << i << " of " << chunks[i] << " bytes";
        }
    }
    EXPECT_EQ(66u, total);
    ASSERT_FALSE(chunks.empty());
    EXPECT_EQ(2u, chunks.back() % 8);
    // 67 bytes in, then the echo's last byte 65 byte times after its first.
    EXPECT_GE(elapsedUs, (66 + 65) * 10 * 1000000LL / 19200);
    StopSim(&sim);
    EXPECT_NE(std::string::npos, ReadTextFile(sim.transcript).find(" D>H 19200 01 3c"));
}

}  // namespace
