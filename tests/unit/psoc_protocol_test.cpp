// The PSoC boot loader exchanges and the programming run against a boot
// loader played by the test over a real pty (over a socket pair where the
// line has to break one way only).
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <thread>

#include "core/app_state.h"
#include "psoc/psoc_protocol.h"
#include "psoc/psoc_worker.h"
#include "scripted_peer.h"
#include "serial/port_posix.h"
#include "serial/serial_port.h"

namespace {

const int kPort = 8;

struct BootLoader {
    Bytes pending;
    std::vector<Bytes> blocks;  // 67-byte requests in order
    int finishes = 0;
    int mismatchAt = -1;        // echo one wrong data byte for this block
    int shortAt = -1;           // echo only 30 bytes for this block
    int finishReply = 0xA5;     // -1: no reply

    Bytes Handle(const Bytes& chunk) {
        pending.insert(pending.end(), chunk.begin(), chunk.end());
        Bytes out;
        for (;;) {
            if (pending.empty()) return out;
            if (pending[0] == 0x5A) {
                pending.erase(pending.begin());
                ++finishes;
                if (finishReply >= 0) out.push_back(static_cast<uint8_t>(finishReply));
                continue;
            }
            if (pending.size() < 67) return out;
            Bytes block(pending.begin(), pending.begin() + 67);
            pending.erase(pending.begin(), pending.begin() + 67);
            int number = static_cast<int>(blocks.size());
            blocks.push_back(block);
            Bytes echo;
            echo.push_back(0x99);  // first and last bytes are the device's own
            echo.insert(echo.end(), block.begin() + 2, block.begin() + 66);
            echo.push_back(0x77);
            if (number == mismatchAt) echo[20] ^= 0x40;
            if (number == shortAt) echo.resize(30);
            out.insert(out.end(), echo.begin(), echo.end());
        }
    }
};

class PsocProtocol : public ::testing::Test {
protected:
    ScriptedPeer peer;
    BootLoader loader;
    std::vector<uint8_t> image = std::vector<uint8_t>(kImageBufferSize, 0xFF);

    void SetUp() override {
        ASSERT_TRUE(StartPeer(&peer, kPort, kPeerRaw, [this](const Bytes& b) { return loader.Handle(b); }));
        ASSERT_EQ(0, SerialOpen(kPort, 19200, 200));
        for (int i = 0; i < 0x1000; ++i) image[i] = static_cast<uint8_t>(i ^ (i >> 6));
        AppState.hexImage = image.data();
        AppState.uploadResult = 0;
    }
    void TearDown() override {
        SerialClose();
        StopPeer(&peer);
        AppState.hexImage = nullptr;
    }
};

TEST_F(PsocProtocol, WholeRunSends216BlocksWithFillAndFinishes) {
    PsocProgramWorker();
    EXPECT_EQ(kPsocSuccess, AppState.uploadResult.load());
    ASSERT_EQ(216u, loader.blocks.size());
    for (int n = 0; n < 216; ++n) {
        const Bytes& b = loader.blocks[n];
        ASSERT_EQ(0x55, b[0]);
        ASSERT_EQ(n, b[1]);
        ASSERT_EQ(0x04, b[66]);
        ASSERT_EQ(Bytes(image.begin() + 64 * n, image.begin() + 64 * n + 64), Bytes(b.begin() + 2, b.begin() + 66));
    }
    EXPECT_EQ(Bytes(64, 0xFF), Bytes(loader.blocks[215].begin() + 2, loader.blocks[215].begin() + 66));
    EXPECT_EQ(1, loader.finishes);
    EXPECT_EQ(0x3600, AppState.currentAddress.load());
    EXPECT_EQ(0x3600, AppState.progressBytes.load());
}

TEST_F(PsocProtocol, MismatchStopsTheBlocksButStillFinishes) {
    loader.mismatchAt = 10;
    PsocProgramWorker();
    EXPECT_EQ(kPsocVerifyFailed, AppState.uploadResult.load());  // even though the finish says 0xA5
    EXPECT_EQ(11u, loader.blocks.size());
    EXPECT_EQ(1, loader.finishes);
    EXPECT_EQ(10 * 64, AppState.currentAddress.load());
}

TEST_F(PsocProtocol, ShortEchoIsNotAConfirmation) {
    loader.shortAt = 5;
    PsocProgramWorker();
    EXPECT_EQ(kPsocVerifyFailed, AppState.uploadResult.load());
    EXPECT_EQ(6u, loader.blocks.size());
    EXPECT_EQ(5 * 64, AppState.progressBytes.load());
}

TEST_F(PsocProtocol, FinishReplyDecidesTheOutcome) {
    loader.finishReply = 0x00;
    PsocProgramWorker();
    EXPECT_EQ(kPsocSyncError, AppState.uploadResult.load());
    loader.blocks.clear();
    loader.finishReply = -1;
    PsocProgramWorker();
    EXPECT_EQ(kPsocSyncError, AppState.uploadResult.load());
}

TEST_F(PsocProtocol, ResetIsOneFramedPacket) {
    EXPECT_EQ(2, PsocReset());
    for (int i = 0; i < 500 && PeerRequests(&peer).empty(); ++i) PlatformSleep(10);
    auto requests = PeerRequests(&peer);
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ((Bytes{0x55, 0x55, 0x08, 0x00, 0xF8, 0x04}), requests[0]);
}

// The boot loader on one end of a socket pair whose line breaks once the last
// block has been echoed. A pseudo-terminal cannot break one way only, and
// its hang-up would race the host between that echo and the finish byte.
enum LineBreak {
    kHostWriteFails,  // the device stops taking bytes before it echoes block 215
    kHostReadFails,   // the device goes away with the finish byte unread
};

int32_t RunOverBreakingLine(LineBreak how) {
    int fds[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK, 0, fds) != 0) return -1;
    std::thread device([&] {
        BootLoader loader;
        uint8_t request[67];
        for (int block = 0; block < 216; ++block) {
            uint32_t got = 0;
            if (!PosixReadFor(fds[1], request, sizeof request, 10000, 0, &got) || got != sizeof request) return;
            Bytes echo = loader.Handle(Bytes(request, request + sizeof request));
            if (block == 215 && how == kHostWriteFails) {
                shutdown(fds[1], SHUT_RD);
                echo.push_back(kPsocFinishReply);  // a good reply waiting does not make up for it
            }
            uint32_t written = 0;
            PosixWriteAll(fds[1], echo.data(), static_cast<uint32_t>(echo.size()), 10000, &written);
        }
        if (how == kHostReadFails) {
            pollfd p = {fds[1], POLLIN, 0};
            poll(&p, 1, 10000);
            close(fds[1]);  // with the byte unread: the host's read fails
            fds[1] = -1;
        }
    });
    std::vector<uint8_t> image(kImageBufferSize, 0xFF);
    AppState.hexImage = image.data();
    PosixPort port{fds[0], 2000};
    AppState.portHandle = &port;
    // A write to a socket whose far end takes nothing raises SIGPIPE.
    void (*previous)(int) = signal(SIGPIPE, SIG_IGN);
    PsocProgramWorker();
    signal(SIGPIPE, previous);
    device.join();
    AppState.portHandle = nullptr;
    AppState.hexImage = nullptr;
    close(fds[0]);
    if (fds[1] >= 0) close(fds[1]);
    return AppState.uploadResult;
}

TEST(PsocFinish, FailedWriteOrReadOfTheFinishIsReported) {
    int32_t outcome = RunOverBreakingLine(kHostWriteFails);
    EXPECT_EQ(130, outcome);
    EXPECT_STREQ("Error: Flash Write !", PsocOutcomeMessage(outcome));
    EXPECT_EQ(0x3600, AppState.progressBytes.load());

    outcome = RunOverBreakingLine(kHostReadFails);
    EXPECT_EQ(136, outcome);
    EXPECT_STREQ("Error: Flash Read !", PsocOutcomeMessage(outcome));
    EXPECT_EQ(0x3600, AppState.progressBytes.load());
}

TEST(PsocMessages, EveryOutcomeHasItsText) {
    const struct {
        int32_t code;
        const char* text;
    } table[] = {
        {129, "PSoC Programing Completed Successfully, Press Encoder to restart."},
        {130, "Error: Flash Write !"},
        {132, "Error: Flash Verify !"},
        {133, "Error: Flash Erase !"},
        {135, "Error: Sync Error !"},
        {136, "Error: Flash Read !"},
        // Any other code.
        {131, "Error: Sync Fail !"},
        {134, "Error: Sync Fail !"},
        {128, "Error: Sync Fail !"},
        {137, "Error: Sync Fail !"},
        {1, "Error: Sync Fail !"},
    };
    for (const auto& row : table) EXPECT_STREQ(row.text, PsocOutcomeMessage(row.code)) << row.code;
}

}  // namespace
