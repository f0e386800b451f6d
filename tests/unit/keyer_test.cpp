// The keyer probe and the ZQ3 upload against a keyer IC played by the test
// over a real pty; the variant check and the dialog's texts.
#include <gtest/gtest.h>

#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

#include "core/app_state.h"
#include "scripted_peer.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_commands.h"
#include "zq3/keyer_probe.h"
#include "zq3/keyer_upload.h"

namespace {

const int kPort = 9;

struct Keyer {
    bool loader = false;       // only the loader runs
    uint8_t version = 31;
    uint8_t revision = 103;
    int icType = 3;            // -1: no reply to the query
    int echoInLoader = 0xAA;
    int failSlotFrame = -1;    // the n-th record frame (0-based) gets failReply
    uint8_t failReply = 0x81;
    Bytes pending;
    std::vector<Bytes> commands;  // every command and frame, in order

    Bytes Handle(const Bytes& chunk) {
        pending.insert(pending.end(), chunk.begin(), chunk.end());
        Bytes out;
        for (;;) {
            if (pending.empty()) return out;
            uint8_t first = pending[0];
            size_t length = first == 0x00 ? (pending.size() >= 2 && (pending[1] == 0x04 || pending[1] == 0x10) ? 3 : 2)
                          : (first == 0x1B || first == 0x2E) ? 20 : 1;
            if (pending.size() < length) return out;
            Bytes cmd(pending.begin(), pending.begin() + length);
            pending.erase(pending.begin(), pending.begin() + length);
            commands.push_back(cmd);
            if (first == 0x00) {
                switch (cmd[1]) {
                    case 0x04: out.push_back(loader ? static_cast<uint8_t>(echoInLoader) : 0x55); break;
                    case 0x09: if (!loader) out.push_back(version); break;
                    case 0x17: if (!loader) out.push_back(revision); break;
                    case 0x18: if (!loader && icType >= 0) out.push_back(static_cast<uint8_t>(icType)); break;
                    case 0x10: loader = true; break;
                }
            } else if (length == 20) {
                int frame = 0;
                for (const Bytes& c : commands) frame += c.size() == 20;
                uint8_t sum = 0;
                for (uint8_t b : cmd) sum += b;
                if (frame - 1 == failSlotFrame) out.push_back(failReply);
                else out.push_back(sum == 0 ? 0x3C : 0x81);
            }
        }
    }
    std::vector<Bytes> Frames() const {
        std::vector<Bytes> frames;
        for (const Bytes& c : commands)
            if (c.size() == 20) frames.push_back(c);
        return frames;
    }
};

class KeyerTest : public ::testing::Test {
protected:
    ScriptedPeer peer;
    Keyer keyer;
    std::vector<KeyerRecord> image = std::vector<KeyerRecord>(kKeyerRecordCount);

    void SetUp() override {
        ASSERT_TRUE(StartPeer(&peer, kPort, kPeerRaw, [this](const Bytes& b) { return keyer.Handle(b); }));
        AppState.comPort = kPort;
        AppState.portOpen = 0;
        AppState.keyerIcType = 0;
        AppState.keyerFwVersion = 0;
        AppState.keyerFwRevision = 0;
        for (int i = 0; i < kKeyerRecordCount; ++i) {
            image[i].address[0] = static_cast<uint8_t>((8 * i) >> 8);
            image[i].address[1] = static_cast<uint8_t>(8 * i);
            for (int j = 0; j < 16; j += 2) {
                image[i].data[j] = static_cast<uint8_t>(i + j);
                image[i].data[j + 1] = 0x3F;
            }
        }
        image[1012].data[0] = 0xFF;
        AppState.keyerImage = image.data();
    }
    void TearDown() override {
        KeyerClose();
        StopPeer(&peer);
        AppState.keyerImage = nullptr;
    }
    KeyerProbeResult lines;
    int Probe() { return ProbeKeyer(&lines); }
    std::string Line() { return lines.portLine; }
};

TEST_F(KeyerTest, ProbeReadsVersionRevisionAndType) {
    EXPECT_EQ(31, Probe());
    EXPECT_EQ(kIcJade, AppState.keyerIcType);
    EXPECT_EQ("ZQ F/W revision 31.03", Line());
    EXPECT_STREQ("ZQ IC: JADE", lines.variantLine);
    EXPECT_EQ(1, AppState.portOpen);
    EXPECT_NE(nullptr, AppState.keyerHandle);
}

TEST_F(KeyerTest, ProbeOfVersion30BelowRevision4AsksNoType) {
    keyer.version = 30;
    keyer.revision = 2;
    EXPECT_EQ(30, Probe());
    EXPECT_EQ(kIcAmber, AppState.keyerIcType);
    EXPECT_EQ("ZQ3 F/W ver 30.02", Line());
    for (const Bytes& c : keyer.commands) EXPECT_NE((Bytes{0x00, 0x18}), c);
}

TEST_F(KeyerTest, ProbeRefusalsAndRecovery) {
    keyer.version = 29;
    AppState.keyerIcType = 2;
    EXPECT_EQ(-1, Probe());
    EXPECT_EQ("Only supports ZQ3", Line());
    EXPECT_EQ(2, AppState.keyerIcType);

    keyer.loader = true;  // the channel stays open: the next probe talks on it
    EXPECT_EQ(5, Probe());
    EXPECT_EQ("ZQ3 Fail:No O/S", Line());
    EXPECT_EQ(kIcNoOs, AppState.keyerIcType);
    EXPECT_EQ((Bytes{0x00, 0x04, 0x55}), keyer.commands.back());

    keyer.echoInLoader = 0x00;
    EXPECT_EQ(-1, Probe());
    EXPECT_EQ("ZQ3 Fail:echo mismatch", Line());
}

TEST_F(KeyerTest, ProbeWithUnknownTypeShowsADefinedLine) {
    keyer.icType = -1;  // the type query goes unanswered
    EXPECT_EQ(31, Probe());
    EXPECT_EQ(0, AppState.keyerIcType);
    EXPECT_EQ("Unknown ZQ IC type 0, F/W ver 31", Line());

    // The answer comes after the read gave up; the next probe, on the same
    // channel, must not read it as the echo.
    const uint8_t late = kIcRuby;
    ASSERT_EQ(1, write(peer.master, &late, 1));
    int queued = 0;  // until it waits at the terminal, as a late byte does
    for (int i = 0; i < 500 && queued < 1; ++i) {
        ASSERT_EQ(0, ioctl(peer.slave, FIONREAD, &queued));
        if (queued < 1) usleep(10000);
    }
    ASSERT_EQ(1, queued);
    keyer.icType = kIcJade;
    EXPECT_EQ(31, Probe());
    EXPECT_EQ(kIcJade, AppState.keyerIcType);
    EXPECT_EQ("ZQ F/W revision 31.03", Line());
}

TEST_F(KeyerTest, ProbeOfAMissingPortSaysSo) {
    AppState.comPort = 33;
    EXPECT_EQ(-1, Probe());
    EXPECT_EQ("ZQ Fail:comm open", Line());
    EXPECT_EQ(0, AppState.portOpen);
}

TEST_F(KeyerTest, UploadSendsSlots4To955ThenSlots0To3) {
    ASSERT_EQ(31, Probe());
    AppState.uploadResult = 0;
    KeyerUploadWorker();
    EXPECT_EQ(kKeyerSuccess, AppState.uploadResult.load());
    EXPECT_EQ(Bytes({0x00, 0x10, 0x9B}), keyer.commands[4]);  // after the probe's 4 commands
    auto frames = keyer.Frames();
    ASSERT_EQ(956u, frames.size());
    EXPECT_EQ(0x1B, frames[0][0]);
    EXPECT_EQ(0x00, frames[0][1]);
    EXPECT_EQ(0x20, frames[0][2]);  // slot 4: word address 32
    EXPECT_EQ(Bytes(image[4].data, image[4].data + 16), Bytes(frames[0].begin() + 3, frames[0].begin() + 19));
    EXPECT_EQ(0x2E, frames.back()[0]);
    EXPECT_EQ(0x18, frames.back()[2]);  // slot 3
    EXPECT_EQ(0x5A, keyer.commands.back()[0]);
    EXPECT_EQ(99, AppState.keyerProgress.load());
}

TEST_F(KeyerTest, UploadSendsPhaseOneWhenSlot1012HasData) {
    image[1012].data[0] = 0x12;
    AppState.keyerIcType = kIcNoOs;  // recovery: no hand-over request
    keyer.loader = true;
    ASSERT_EQ(0, KeyerOpen(kPort));
    KeyerUploadWorker();
    EXPECT_EQ(kKeyerSuccess, AppState.uploadResult.load());
    for (const Bytes& c : keyer.commands) EXPECT_NE((Bytes{0x00, 0x10, 0x9B}), c);
    auto frames = keyer.Frames();
    ASSERT_EQ(964u, frames.size());
    const int order[8] = {1012, 1013, 1014, 1015, 1000, 1001, 1002, 1003};
    for (int i = 0; i < 8; ++i) EXPECT_EQ((8 * order[i]) & 0xFF, frames[i][2]) << i;
}

TEST_F(KeyerTest, LoaderRepliesEndTheRun) {
    ASSERT_EQ(0, KeyerOpen(kPort));
    keyer.loader = true;
    AppState.keyerIcType = kIcNoOs;
    keyer.failSlotFrame = 496;  // slot 500
    KeyerUploadWorker();
    EXPECT_EQ(kKeyerChecksumError, AppState.uploadResult.load());
    EXPECT_EQ(52, AppState.keyerProgress.load());
    EXPECT_STREQ("Error: Checksum !", KeyerStatusMessage(AppState.uploadResult));

    // The line stays at 9600 after each failed run, where the next finds
    // the loader. Every byte but the acceptance ends the run as a failure: none reads as
    // "no result yet" (0x00) or as another outcome (0x88 is the success code).
    for (int byte = 0; byte < 256; ++byte) {
        if (byte == 0x3C) continue;
        keyer.commands.clear();
        keyer.failSlotFrame = 3;
        keyer.failReply = static_cast<uint8_t>(byte);
        KeyerUploadWorker();
        int32_t status = AppState.uploadResult.load();
        bool collides = byte == 0 || byte == 0x84 || byte == 0x88 || byte == 0x8A || byte == 0x8B || byte == 0x8C;
        EXPECT_EQ(collides ? kKeyerRecordRefused : byte, status) << byte;
        EXPECT_STRNE(KeyerStatusMessage(kKeyerSuccess), KeyerStatusMessage(status)) << byte;
    }
    EXPECT_STREQ("Error: ZQ3 Refused a Record !", KeyerStatusMessage(kKeyerRecordRefused));
}

TEST_F(KeyerTest, OperatingFirmwareStillAnsweringAfterHandOverFails) {
    ASSERT_EQ(31, Probe());
    keyer.echoInLoader = 0x55;
    KeyerUploadWorker();
    EXPECT_EQ(kKeyerNoLoader, AppState.uploadResult.load());
    EXPECT_EQ(0u, keyer.Frames().size());
}

TEST(KeyerUploadTexts, CheckFollowsTheBandsFromTheTop) {
    EXPECT_EQ(nullptr, KeyerVariantCheck(kIcAmber, 49));
    EXPECT_STREQ("Error: Attempting to program a TOPAZ ZQ with a JADE image !", KeyerVariantCheck(kIcTopaz, 120));
    EXPECT_STREQ("Error: Attempting to program an AMBER ZQ with a TOPAZ image !", KeyerVariantCheck(kIcAmber, 50));
    EXPECT_EQ(nullptr, KeyerVariantCheck(kIcRuby, 254));  // 200 and up count as RUBY here
    // but for an erased version word, which no keyer image has.
    EXPECT_STREQ("Error: Attempting to program a RUBY ZQ with an image of no IC variant !",
                 KeyerVariantCheck(kIcRuby, 255));
    EXPECT_EQ(nullptr, KeyerVariantCheck(kIcNoOs, 255));
    EXPECT_STREQ("Error: Unknown Keyer IC Version !", KeyerVariantCheck(0, 10));
    EXPECT_STREQ("Error: Unknown Keyer IC Version !", KeyerVariantCheck(6, 10));
}

TEST(KeyerUploadTexts, EveryStatusHasItsText) {
    const struct {
        int32_t code;
        const char* text;
    } table[] = {
        {136, "ZQ3 Programing Completed Successfully, Press Encoder to restart."},
        {128, "Error: SOF Error !"},
        {129, "Error: Checksum !"},
        {130, "Error: Flash Verify !"},
        {132, "Error: VIDUD Timeout !"},
        {137, "Error: VIDUD Sync !"},
        {138, "Error: Restart failed !"},
        {139, "Error: Restart failed !"},
        // Any other code: another reply byte to a record.
        {0x41, "Error: Restart failed !"},
        {131, "Error: Restart failed !"},
        {kKeyerRecordRefused, "Error: ZQ3 Refused a Record !"},
    };
    for (const auto& row : table) EXPECT_STREQ(row.text, KeyerStatusMessage(row.code)) << row.code;
}

TEST(KeyerUploadTexts, LoadLinePerBand) {
    char line[256];
    FormatKeyerLoadLine(line, sizeof line, 31, 103, 960);
    EXPECT_STREQ("ZQ JADE Version: 31.03 Loaded, 960 Records", line);
    FormatKeyerLoadLine(line, sizeof line, 50, 5, 12);
    EXPECT_STREQ("ZQ3 IC Version: 50.05 Loaded, 12 Records", line);
    FormatKeyerLoadLine(line, sizeof line, 63, 255, 1);
    EXPECT_STREQ("ZQ Image Version: 63 Loaded, 1 Records, unknown IC variant", line);
}

TEST(KeyerUploadTexts, VersionLineKeepsANegativeRevision) {
    char line[64];
    FormatKeyerVersionLine(line, sizeof line, kIcTopaz, 31, 48);
    EXPECT_STREQ("ZQ F/W revision 31.-2", line);
}

}  // namespace
