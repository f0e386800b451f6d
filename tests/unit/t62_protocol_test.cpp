// The T62 loader commands and the update run against a device played by the
// test on a real pty: exact request bytes, retries, verify and the run's order.
#include <gtest/gtest.h>

#include <map>

#include "core/app_state.h"
#include "scripted_peer.h"
#include "serial/frame.h"
#include "serial/serial_port.h"
#include "t62/t62_protocol.h"
#include "t62/t62_worker.h"

namespace {

const int kPort = 7;

// A small loader: memory by image offset, with faults chosen by the test.
struct Loader {
    std::map<int, Bytes> rows;  // image offset -> 256 bytes written
    int dropWrites = 0;         // the next n write replies are lost
    int failWrites = 0;         // the next n writes fail (no reply, nothing written) after skipWrites
    int skipWrites = 0;
    int ackOnlyWrite = -1;      // this write (0-based) is acknowledged but not carried out
    int writes = 0;
    int corruptRead = -1;       // flip this significant byte of read-backs
    int padNoise = 0;           // read-backs carry this in every pad byte
    int shortRead = 0;          // read-backs carry only this many data bytes (0: all)
    bool longWriteReply = false;
    bool silentReads = false;
    bool failErase = false;

    Bytes Handle(const Bytes& body) {
        if (body.empty()) return {};
        Bytes payload(body.begin(), body.end() - 1);
        int address = payload.size() >= 5 ? payload[2] | payload[3] << 8 | payload[4] << 16 : 0;
        switch (payload[0]) {
            case 0x01: {
                if (silentReads) return {};
                Bytes reply(payload.begin(), payload.begin() + 5);
                Bytes row = rows.count(2 * address) ? rows[2 * address] : Bytes(256, 0xFF);
                for (int i = 3; i < 256; i += 4) row[i] = static_cast<uint8_t>(padNoise);
                if (corruptRead >= 0) row[corruptRead] ^= 0x01;
                if (shortRead) row.resize(shortRead);
                reply.insert(reply.end(), row.begin(), row.end());
                return T62Reply(reply);
            }
            case 0x02:
                if (skipWrites > 0) {
                    --skipWrites;
                } else if (failWrites > 0) {
                    --failWrites;
                    return {};
                }
                if (writes++ != ackOnlyWrite) rows[2 * address] = Bytes(payload.begin() + 5, payload.end());
                if (dropWrites > 0) {
                    --dropWrites;
                    return {};
                }
                if (longWriteReply) return T62Reply(Bytes(8, 0x02));
                return T62Reply({0x02, 0x01});
            case 0x03:
                if (failErase) return {};
                return T62Reply({0x03, 0x01});
            case 0x08:
                // Answered here, so that a host that read after its reset
                // would take this reply off the line.
                return T62Reply({0x08, 0x00});
        }
        return {};
    }
};

class T62Protocol : public ::testing::Test {
protected:
    ScriptedPeer peer;
    Loader loader;
    std::vector<uint8_t> image = std::vector<uint8_t>(kImageBufferSize, 0xFF);

    void SetUp() override {
        ASSERT_TRUE(StartPeer(&peer, kPort, kPeerT62Frames, [this](const Bytes& b) { return loader.Handle(b); }));
        ASSERT_EQ(0, SerialOpen(kPort, 115200, 150));
        for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + (i >> 8));
        AppState.hexImage = image.data();
        AppState.uploadResult = 0;
    }
    void TearDown() override {
        SerialClose();
        StopPeer(&peer);
        AppState.hexImage = nullptr;
    }
    std::vector<Bytes> Requests() { return PeerRequests(&peer); }
};

TEST_F(T62Protocol, RequestsCarryCommandCountAndAddressLowByteFirst) {
    EXPECT_EQ(1, T62EraseBlock(0x12C00));
    EXPECT_EQ(1, T62WriteRow(0xC00));
    uint8_t reply[262];
    EXPECT_EQ(261, T62ReadRow(0xC00, reply));
    auto requests = Requests();
    ASSERT_EQ(3u, requests.size());
    EXPECT_EQ((Bytes{0x03, 0x01, 0x00, 0x2C, 0x01, 0xCF}), requests[0]);
    ASSERT_EQ(262u, requests[1].size());
    EXPECT_EQ((Bytes{0x02, 0x01, 0x00, 0x0C, 0x00}), Bytes(requests[1].begin(), requests[1].begin() + 5));
    EXPECT_EQ(Bytes(image.begin() + 0x1800, image.begin() + 0x1900), Bytes(requests[1].begin() + 5, requests[1].end() - 1));
    EXPECT_EQ((Bytes{0x01, 0x40, 0x00, 0x0C, 0x00, 0xB3}), requests[2]);
}

TEST_F(T62Protocol, LostReplyIsRetriedWithTheSameRequest) {
    loader.dropWrites = 1;
    EXPECT_EQ(1, T62WriteRow(0xC80));
    auto requests = Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(requests[0], requests[1]);
}

TEST_F(T62Protocol, TwoLostRepliesFailTheCommand) {
    loader.dropWrites = 2;
    EXPECT_EQ(0, T62WriteRow(0xC80));
    EXPECT_EQ(2u, Requests().size());
}

TEST_F(T62Protocol, OverlongReplyFailsAtOnceWithoutRetry) {
    loader.longWriteReply = true;
    EXPECT_EQ(0, T62WriteRow(0xC00));
    EXPECT_EQ(1u, Requests().size());
}

TEST_F(T62Protocol, VerifyComparesThreeBytesOfEachWordAndIgnoresPads) {
    ASSERT_EQ(1, T62WriteRow(0xC00));
    loader.padNoise = 0x5A;
    EXPECT_EQ(0, T62VerifyRow(0xC00));
    loader.corruptRead = 254;  // a significant byte of the last word
    EXPECT_EQ(1, T62VerifyRow(0xC00));
}

TEST_F(T62Protocol, RowThatCannotBeReadBackCountsAsDifferent) {
    ASSERT_EQ(1, T62WriteRow(0xC00));
    loader.shortRead = 200;
    EXPECT_EQ(1, T62VerifyRow(0xC00));
    loader.shortRead = 0;
    loader.silentReads = true;
    EXPECT_EQ(1, T62VerifyRow(0xC00));
}

TEST_F(T62Protocol, FallbackRowJumpsToTheLoader) {
    EXPECT_EQ(1, T62InstallFallback());
    auto requests = Requests();
    ASSERT_EQ(2u, requests.size());
    EXPECT_EQ(0x03, requests[0][0]);
    Bytes expected(256, 0xFF);
    const uint8_t jump[8] = {0x00, 0x04, 0x04, 0x00, 0x00, 0x00, 0x00, 0x00};
    std::copy(jump, jump + 8, expected.begin());
    EXPECT_EQ(expected, loader.rows[0]);
}

TEST_F(T62Protocol, ResetGoesOutOnceAndReadsNothing) {
    EXPECT_EQ(1, T62Reset());
    // The device's answer is still there for the next read.
    uint8_t reply[17];
    int32_t n = kFrameTimeout;
    for (int i = 0; i < 30 && n == kFrameTimeout; ++i) n = SerialReadFrame(AppState.portHandle, reply, 16);
    ASSERT_EQ(3, n) << "the reset took its answer off the line";
    EXPECT_EQ(0x08, reply[0]);
    auto requests = Requests();
    ASSERT_EQ(1u, requests.size());
    EXPECT_EQ((Bytes{0x08, 0x00, 0xF8}), requests[0]);
}

TEST_F(T62Protocol, RunOf5000BytesProgramsThreeEraseUnitsThenTheVectors) {
    AppState.hexImageLength = 5000;
    T62UploadWorker();
    EXPECT_EQ(kT62Success, AppState.uploadResult.load());
    EXPECT_EQ(24 * 256, AppState.progressBytes.load());
    EXPECT_EQ(2 * 0xC00, AppState.currentAddress.load());
    // Order on the wire: fallback, 3 x (erase + 8 x (write, read)), vectors
    // and their read-back.
    std::string order;
    for (const Bytes& r : Requests()) order += "?rwe"[r[0] <= 3 ? r[0] : 0];
    std::string expected = "ew";
    for (int unit = 0; unit < 3; ++unit) {
        expected += "e";
        for (int row = 0; row < 8; ++row) expected += "wr";
    }
    expected += "ewwwwrrrr";
    EXPECT_EQ(expected, order);
    for (int address = 0xC00; address < 0x1800; address += 0x80)
        EXPECT_EQ(Bytes(image.begin() + 2 * address, image.begin() + 2 * address + 256), loader.rows[2 * address]);
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 256), loader.rows[0]);
    EXPECT_EQ(0u, loader.rows.count(0x400));  // nothing between the vectors and the application
}

TEST_F(T62Protocol, WriteFailureInSecondRowStillInstallsVectors) {
    AppState.hexImageLength = 100;
    loader.skipWrites = 2;  // fallback and the first application row
    loader.failWrites = 2;  // both attempts of the second row
    T62UploadWorker();
    EXPECT_EQ(kT62WriteFailed, AppState.uploadResult.load());
    EXPECT_EQ(256, AppState.progressBytes.load());
    EXPECT_EQ(Bytes(image.begin(), image.begin() + 256), loader.rows[0]);
}

TEST_F(T62Protocol, FailedVectorInstallAfterAGoodRunIsReported) {
    AppState.hexImageLength = 256;  // one erase unit
    loader.skipWrites = 1 + 8;      // the fallback row and the unit's eight rows
    loader.failWrites = 2;          // both attempts of the first vector row
    T62UploadWorker();
    EXPECT_EQ(8 * 256, AppState.progressBytes.load());
    EXPECT_STREQ("Error: Vector Install !", T62StatusMessage(AppState.uploadResult));
}

TEST_F(T62Protocol, VectorRowAcknowledgedButNotWrittenIsNotASuccess) {
    for (int i = 0; i < 256; ++i) image[i] = static_cast<uint8_t>(i);
    AppState.hexImageLength = 256;
    loader.ackOnlyWrite = 1 + 8;  // the vector row at 0: the fallback row stays there
    T62UploadWorker();
    EXPECT_EQ(kT62VerifyFailed, AppState.uploadResult.load());
    // and is put back once more, so that the loader still starts.
    ASSERT_EQ(1u, loader.rows.count(0));
    EXPECT_EQ(0x04, loader.rows[0][1]);
    EXPECT_EQ(0xFF, loader.rows[0][8]);
}

TEST_F(T62Protocol, FailedFallbackErasesAndWritesNothingElse) {
    // Progress as a previous run left it.
    AppState.progressBytes = 24 * 256;
    AppState.currentAddress = 2 * 0xC00;
    loader.failErase = true;
    AppState.hexImageLength = 3000;
    T62UploadWorker();
    EXPECT_EQ(kT62FallbackFailed, AppState.uploadResult.load());
    auto requests = Requests();
    ASSERT_EQ(2u, requests.size());  // the erase of row 0, twice
    EXPECT_EQ(0x03, requests[1][0]);
    // What the dialog shows is this run's: nothing programmed.
    EXPECT_EQ(0, AppState.progressBytes.load());
    EXPECT_EQ(0, AppState.currentAddress.load());
}

TEST_F(T62Protocol, RunWhoseReadBacksAllFailIsNotASuccess) {
    loader.silentReads = true;
    AppState.hexImageLength = 256;
    T62UploadWorker();
    EXPECT_EQ(kT62VerifyFailed, AppState.uploadResult.load());
}

TEST_F(T62Protocol, FullSizeImageStaysInsideTheBuffer) {
    // The byte count alone would lead the run past the end of the buffer.
    std::vector<uint8_t> exact(image.begin(), image.end());
    AppState.hexImage = exact.data();
    AppState.hexImageLength = kImageBufferSize;
    T62UploadWorker();
    EXPECT_EQ(kT62Success, AppState.uploadResult.load());
    EXPECT_EQ(kImageBufferSize - 2 * 0xC00, AppState.progressBytes.load());
}

TEST(T62Messages, EveryCodeHasItsText) {
    const struct {
        int32_t code;
        const char* text;
    } table[] = {
        {129, "Programing Completed Successfully"},
        {130, "Error: Flash Write !"},
        {131, "Error: Fallback Error !"},
        {132, "Error: Flash Verify !"},
        {133, "Error: Flash Erase !"},
        {134, "Error: Vector Install !"},
        // Any other code.
        {128, "Error: Sync Fail !"},
        {135, "Error: Sync Fail !"},
        {1, "Error: Sync Fail !"},
        {-1, "Error: Sync Fail !"},
    };
    for (const auto& row : table) EXPECT_STREQ(row.text, T62StatusMessage(row.code)) << row.code;
}

}  // namespace
