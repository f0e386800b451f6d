// The PSoC boot loader exchanges and the programming run against a boot
// loader played by the test over a real pty.
#include <gtest/gtest.h>

#include "core/app_state.h"
#include "psoc/psoc_protocol.h"
#include "psoc/psoc_worker.h"
#include "scripted_peer.h"
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
    for (int i = 0; i < 50 && PeerRequests(&peer).empty(); ++i) PlatformSleep(10);
    auto requests = PeerRequests(&peer);
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ((Bytes{0x55, 0x55, 0x08, 0x00, 0xF8, 0x04}), requests[0]);
}

TEST(PsocMessages, OutcomeTexts) {
    EXPECT_STREQ("PSoC Programing Completed Successfully, Press Encoder to restart.", PsocOutcomeMessage(129));
    EXPECT_STREQ("Error: Sync Error !", PsocOutcomeMessage(135));
    EXPECT_STREQ("Error: Flash Read !", PsocOutcomeMessage(136));
    EXPECT_STREQ("Error: Sync Fail !", PsocOutcomeMessage(131));
}

}  // namespace
