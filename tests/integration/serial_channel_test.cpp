// The synchronous serial channel against the simulated devices on a real pty.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "psoc/psoc_probe.h"
#include "serial/frame.h"
#include "serial/port_fault.h"
#include "serial/serial_port.h"
#include "t62/t62_probe.h"
#include "t62/t62_protocol.h"
#include "zq3/keyer_channel.h"
#include "sim_harness.h"

namespace {

int64_t MsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
}

class SerialChannel : public ::testing::Test {
protected:
    SimProcess sim;
    void Start(const std::vector<std::string>& args) {
        ASSERT_TRUE(StartSim(&sim, args));
        SerialSetDeviceDir(sim.dir.c_str());
    }
    void TearDown() override {
        SerialClose();
        RemoveSimDir(&sim);
    }
    // The main window's T62 probe, after the port is open.
    T62ProbeResult Identify() {
        T62ProbeResult result;
        T62ProbeIdentify(&result);
        return result;
    }
};

TEST_F(SerialChannel, T62ProbeRoundTrip) {
    Start({"--device", "t62", "--t62-hw-rev", "2", "--t62-loader", "3.7"});
    ASSERT_EQ(0, T62ProbeOpen(4));
    EXPECT_EQ(1, AppState.portOpen);
    T62ProbeResult result = Identify();
    ASSERT_EQ(kT62ProbeConnected, result.outcome);
    EXPECT_EQ(5, result.replyCount);
    char port[64], hw[64];
    FormatT62ProbeLines(&result, port, sizeof port, hw, sizeof hw);
    EXPECT_STREQ("F/W Loader v3.7 Connected", port);
    EXPECT_STREQ("T62 H/W Revision B", hw);
    EXPECT_TRUE(WaitForTranscript(sim, "H>D 115200 55 55 00 01 ff 04", 1000));
}

TEST_F(SerialChannel, SilentDeviceTimesOutAfterTheReadTimeout) {
    Start({"--device", "t62", "--fault", "silent:any:1"});
    ASSERT_EQ(0, T62ProbeOpen(4));
    auto start = std::chrono::steady_clock::now();
    T62ProbeResult result = Identify();
    int64_t ms = MsSince(start);
    EXPECT_EQ(kT62ProbeNotResponding, result.outcome);
    EXPECT_EQ(kFrameTimeout, result.replyCount);
    char port[64], hw[64];
    FormatT62ProbeLines(&result, port, sizeof port, hw, sizeof hw);
    EXPECT_STREQ("T62 is not responding: -2", port);
    EXPECT_STREQ("", hw);
    EXPECT_GE(ms, 1450);
    EXPECT_LT(ms, 2500);
}

TEST_F(SerialChannel, WrongSpeedGetsNoAnswer) {
    Start({"--device", "t62"});
    ASSERT_EQ(0, SerialOpen(4, 19200, 300));
    EXPECT_EQ(kFrameTimeout, Identify().replyCount);
}

TEST_F(SerialChannel, PsocProbeIsRawBytes) {
    Start({"--device", "t62,psoc", "--psoc-version", "9"});
    ASSERT_EQ(0, PsocProbeOpen(4));
    PsocProbeResult result;
    PsocProbeIdentify(&result);
    ASSERT_EQ(kPsocProbeConnected, result.outcome);
    char line[64];
    FormatPsocProbeLine(&result, line, sizeof line);
    EXPECT_STREQ("PSoC Boot Loader ver 9", line);
    EXPECT_TRUE(WaitForTranscript(sim, "H>D 19200 cc", 1000));
}

TEST_F(SerialChannel, MissingPortFailsToOpen) {
    Start({"--device", "t62"});
    AppState.portOpen = 0;
    EXPECT_EQ(kSerialOpenFailed, SerialOpen(5, 115200, 1500));
    EXPECT_EQ(nullptr, AppState.portHandle);
    EXPECT_EQ(0, AppState.portOpen);
}

TEST_F(SerialChannel, PortHeldByAnotherProcessFailsToOpen) {
    Start({"--device", "t62"});
    int ready[2];
    ASSERT_EQ(0, pipe(ready));
    pid_t child = fork();
    if (child == 0) {
        char ok = SerialOpen(4, 115200, 1500) == 0 ? 'y' : 'n';
        if (write(ready[1], &ok, 1) != 1) _exit(1);
        sleep(5);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(1, read(ready[0], &ok, 1));
    ASSERT_EQ('y', ok);
    EXPECT_EQ(kSerialOpenFailed, SerialOpen(4, 115200, 1500));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    close(ready[0]);
    close(ready[1]);
    // Once the other process is gone the port opens again.
    EXPECT_EQ(0, SerialOpen(4, 115200, 1500));
}

TEST_F(SerialChannel, OpenDiscardsWhatArrivedBefore) {
    Start({"--device", "t62"});
    ASSERT_EQ(0, SerialOpen(4, 115200, 300));
    uint8_t reply[kT62IdentifyLimit + 1];
    const uint8_t identify[2] = {0x00, 0x01};
    ASSERT_EQ(2, SerialWriteFrame(AppState.portHandle, identify, 2));
    ASSERT_TRUE(WaitForTranscript(sim, "D>H", 1000));
    SerialClose();
    // The unread reply is purged by the next open, so nothing is waiting.
    ASSERT_EQ(0, SerialOpen(4, 115200, 300));
    EXPECT_EQ(kFrameTimeout, SerialReadFrame(AppState.portHandle, reply, kT62IdentifyLimit));
}

// The other end of the line stops reading (a wedged adapter): once the
// system's buffers are full a write fails within its time, as a port that
// has gone, instead of holding the run for ever.
TEST_F(SerialChannel, WriteToALineThatStopsDrainingFailsInItsTime) {
    Start({"--device", "t62"});
    ASSERT_EQ(0, SerialOpen(4, 115200, 300));
    kill(sim.pid, SIGSTOP);
    int64_t start = NowMs();
    pid_t child = fork();
    if (child == 0) {
        static uint8_t chunk[4096];
        for (int i = 0; i < 1024; ++i) {
            uint32_t written = 0;
            if (!PortWrite(AppState.portHandle, chunk, sizeof chunk, &written))
                _exit(LastPortFault().problem == kPortGone && written < sizeof chunk ? 0 : 2);
        }
        _exit(1);  // 4 MiB went into a line nobody reads
    }
    int status = -1;
    while (waitpid(child, &status, WNOHANG) == 0 && NowMs() - start < 15000) usleep(10000);
    if (NowMs() - start >= 15000) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    kill(sim.pid, SIGCONT);
    ASSERT_TRUE(WIFEXITED(status)) << "the write was still waiting after 15 s";
    EXPECT_EQ(0, WEXITSTATUS(status));
    EXPECT_LT(NowMs() - start, 5000);
}

TEST_F(SerialChannel, OpeningAPortStillHeldClosesItFirst) {
    Start({"--device", "t62"});
    // Each channel opened twice without a close: the second open finds the
    // device free, not held (and locked) by the first handle.
    ASSERT_EQ(0, SerialOpen(4, 115200, 300));
    EXPECT_EQ(0, SerialOpen(4, 115200, 300));
    SerialClose();
    ASSERT_EQ(0, KeyerOpen(4));
    EXPECT_EQ(0, KeyerOpen(4));
    KeyerClose();
    EXPECT_EQ(0, SerialOpen(4, 115200, 300));
}

}  // namespace
