// The synchronous serial channel against the simulated devices on a real pty.
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "serial/frame.h"
#include "serial/serial_port.h"
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
    int32_t Identify(uint8_t* reply) {
        const uint8_t identify[2] = {0x00, 0x01};
        EXPECT_EQ(2, SerialWriteFrame(AppState.portHandle, identify, 2));
        return SerialReadFrame(AppState.portHandle, reply, 16);
    }
};

TEST_F(SerialChannel, T62IdentifyRoundTrip) {
    Start({"--device", "t62", "--t62-hw-rev", "2", "--t62-loader", "3.7"});
    ASSERT_EQ(0, SerialOpen(4, 115200, 1500));
    EXPECT_EQ(1, AppState.portOpen);
    uint8_t reply[17];
    ASSERT_EQ(5, Identify(reply));
    EXPECT_EQ(2, reply[1]);
    EXPECT_EQ(7, reply[2]);
    EXPECT_EQ(3, reply[3]);
    EXPECT_TRUE(WaitForTranscript(sim, "H>D 115200 55 55 00 01 ff 04", 1000));
}

TEST_F(SerialChannel, SilentDeviceTimesOutAfterTheReadTimeout) {
    Start({"--device", "t62", "--fault", "silent:any:1"});
    ASSERT_EQ(0, SerialOpen(4, 115200, 1500));
    uint8_t reply[17];
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(kFrameTimeout, Identify(reply));
    int64_t ms = MsSince(start);
    EXPECT_GE(ms, 1450);
    EXPECT_LT(ms, 2500);
}

TEST_F(SerialChannel, WrongSpeedGetsNoAnswer) {
    Start({"--device", "t62"});
    ASSERT_EQ(0, SerialOpen(4, 19200, 300));
    uint8_t reply[17];
    EXPECT_EQ(kFrameTimeout, Identify(reply));
}

TEST_F(SerialChannel, PsocIdentifyIsRawBytes) {
    Start({"--device", "t62,psoc", "--psoc-version", "9"});
    ASSERT_EQ(0, SerialOpen(4, 19200, 1500));
    uint8_t cc = 0xCC, reply[2] = {0, 0};
    uint32_t n = 0;
    ASSERT_EQ(1, PortWrite(AppState.portHandle, &cc, 1, &n));
    ASSERT_EQ(1, PortRead(AppState.portHandle, reply, 2, &n));
    EXPECT_EQ(2u, n);
    EXPECT_EQ('3', reply[0]);
    EXPECT_EQ('9', reply[1]);
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
    uint8_t reply[17];
    const uint8_t identify[2] = {0x00, 0x01};
    ASSERT_EQ(2, SerialWriteFrame(AppState.portHandle, identify, 2));
    ASSERT_TRUE(WaitForTranscript(sim, "D>H", 1000));
    SerialClose();
    // The unread reply is purged by the next open, so nothing is waiting.
    ASSERT_EQ(0, SerialOpen(4, 115200, 300));
    EXPECT_EQ(kFrameTimeout, SerialReadFrame(AppState.portHandle, reply, 16));
}

}  // namespace
