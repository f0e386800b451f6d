// Whole updates of the three targets, from a HEX file on disk through the
// loaders and workers to the simulated device's memory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "../unit/hex_test_files.h"
#include "core/app_state.h"
#include "image/hex_image.h"
#include "image/keyer_image.h"
#include "core/platform.h"
#include "psoc/psoc_protocol.h"
#include "psoc/psoc_worker.h"
#include "release/release.h"
#include "release/sha256.h"
#include "serial/serial_port.h"
#include "sim_harness.h"
#include "res/resource.h"
#include "t62/t62_worker.h"
#include "uploader/main_window_flow.h"
#include "uploader/uploader_flow.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_probe.h"
#include "zq3/keyer_upload.h"

namespace {

class Update : public ::testing::Test {
protected:
    SimProcess sim;
    std::vector<uint8_t> image = std::vector<uint8_t>(kImageBufferSize);
    std::vector<KeyerRecord> keyer = std::vector<KeyerRecord>(kKeyerRecordCount);

    void Start(const std::vector<std::string>& args) {
        ASSERT_TRUE(StartSim(&sim, args));
        SerialSetDeviceDir(sim.dir.c_str());
        AppState.hexImage = image.data();
        AppState.keyerImage = keyer.data();
        AppState.uploadResult = 0;
        AppState.comPort = 4;
        AppState.portOpen = 0;
    }
    void TearDown() override {
        SerialClose();
        KeyerClose();
        RemoveSimDir(&sim);
        AppState.hexImage = nullptr;
        AppState.keyerImage = nullptr;
    }
    // Significant bytes (three of each four) of [from, to) in image offsets.
    static bool SameWords(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t from, size_t to) {
        for (size_t i = from; i < to; ++i)
            if (i % 4 != 3 && a[i] != b[i]) return false;
        return true;
    }
};

TEST_F(Update, T62ImageLandsAtTheApplicationAndVectorRows) {
    Start({"--device", "t62,psoc", "--t62-fill", "0x11"});
    AppState.hexImageLength = LoadHexImage(RandomImageFile(0x1800 + 5000, 7).c_str(), T62Image);
    ASSERT_EQ(0x1800 + 5000, AppState.hexImageLength);
    ASSERT_EQ(0, SerialOpen(4, 115200, 1500));
    T62UploadWorker();
    EXPECT_EQ(kT62Success, AppState.uploadResult.load());
    StopSim(&sim);
    std::vector<uint8_t> memory = ReadBinaryFile(sim.memory + ".t62");
    ASSERT_EQ(static_cast<size_t>(kImageBufferSize), memory.size());
    // Vector rows hold the image's first 0x400 bytes; the rest of the first
    // erase unit is erased; the loader's area is untouched.
    EXPECT_TRUE(SameWords(memory, image, 0, 0x400));
    for (size_t i = 0x400; i < 0x800; ++i) {
        if (i % 4 != 3) {
            ASSERT_EQ(0xFF, memory[i]) << i;
        }
    }
    for (size_t i = 0x800; i < 0x1800; ++i) {
        if (i % 4 != 3) {
            ASSERT_EQ(0x11, memory[i]) << i;
        }
    }
    // The application: ceil(count / 2048) erase units of rows from 0xC00.
    size_t rows = 8 * ((0x1800 + 5000 + 2047) / 2048);
    EXPECT_TRUE(SameWords(memory, image, 0x1800, 0x1800 + 256 * rows));
    for (size_t i = 0x1800 + 256 * rows; i < memory.size(); ++i) {
        if (i % 4 != 3) {
            ASSERT_EQ(0x11, memory[i]) << i;
        }
    }
}

TEST_F(Update, T62FullSizeImageEndsAtTheEndOfProgramMemory) {
    // 256 KiB of image: the byte count alone would ask for rows past 0x1FFFF,
    // which the device does not have.
    Start({"--device", "t62"});
    AppState.hexImageLength = LoadHexImage(RandomImageFile(kImageBufferSize, 11).c_str(), T62Image);
    ASSERT_EQ(kImageBufferSize, AppState.hexImageLength);
    ASSERT_EQ(0, SerialOpen(4, 115200, 1500));
    T62UploadWorker();
    EXPECT_EQ(kT62Success, AppState.uploadResult.load());
    EXPECT_EQ(kImageBufferSize - 2 * 0xC00, AppState.progressBytes.load());
    StopSim(&sim);
    std::vector<uint8_t> memory = ReadBinaryFile(sim.memory);
    ASSERT_EQ(static_cast<size_t>(kImageBufferSize), memory.size());
    EXPECT_TRUE(SameWords(memory, image, 0x1800, kImageBufferSize));
}

TEST_F(Update, T62RecoversALostReplyAndStopsAtAVerifyDifference) {
    Start({"--device", "t62", "--fault", "drop:write:3", "--fault", "diff:read:3"});
    AppState.hexImageLength = LoadHexImage(RandomImageFile(3000, 3).c_str(), T62Image);
    ASSERT_EQ(0, SerialOpen(4, 115200, 1500));
    T62UploadWorker();
    EXPECT_EQ(kT62VerifyFailed, AppState.uploadResult.load());
    EXPECT_EQ(3 * 256, AppState.progressBytes.load());  // the differing row counts
    std::string transcript = ReadTextFile(sim.transcript);
    EXPECT_NE(std::string::npos, transcript.find("fault drop:write:3"));
}

TEST_F(Update, PsocMemoryEqualsTheImage) {
    Start({"--device", "t62,psoc", "--psoc-fill", "0x00"});
    AppState.hexImageLength = LoadHexImage(RandomImageFile(10000, 5).c_str(), PSoCImage);
    ASSERT_EQ(10000, AppState.hexImageLength);
    ASSERT_EQ(0, SerialOpen(4, 19200, 1500));
    PsocProgramWorker();
    EXPECT_EQ(129, AppState.uploadResult.load());
    EXPECT_EQ(0x3600, AppState.currentAddress.load());
    StopSim(&sim);
    std::vector<uint8_t> memory = ReadBinaryFile(sim.memory + ".psoc");
    ASSERT_EQ(0x3600u, memory.size());
    EXPECT_EQ(std::vector<uint8_t>(image.begin(), image.begin() + 0x3600), memory);
    EXPECT_EQ(0xFF, memory[0x35FF]);
}

TEST_F(Update, PsocMismatchAtBlock10) {
    Start({"--device", "psoc", "--fault", "corrupt:block:11"});
    AppState.hexImageLength = LoadHexImage(RandomImageFile(2000, 9).c_str(), PSoCImage);
    ASSERT_EQ(0, SerialOpen(4, 19200, 1500));
    PsocProgramWorker();
    EXPECT_EQ(132, AppState.uploadResult.load());
    EXPECT_EQ(0x280, AppState.currentAddress.load());
    std::string transcript = ReadTextFile(sim.transcript);
    EXPECT_NE(std::string::npos, transcript.find("finish psoc"));
}

TEST_F(Update, KeyerUploadSwitchesSpeedAndSendsEveryRecordInOrder) {
    Start({"--device", "t62,psoc,keyer", "--keyer-variant", "topaz"});
    ASSERT_EQ(31, ProbeKeyer(nullptr));
    EXPECT_EQ(kIcTopaz, AppState.keyerIcType);
    // A full image of 16-byte lines, with data at slot 1012.
    std::string text;
    for (int slot = 0; slot < 1024; ++slot) {
        std::vector<uint8_t> data(16);
        for (int i = 0; i < 16; ++i) data[i] = static_cast<uint8_t>(slot * 3 + i);
        text += DataLine(static_cast<uint16_t>(slot * 16), data);
    }
    AppState.keyerRecordCount = LoadKeyerImage(WriteTempFile(text + ":00000001FF\n").c_str());
    ASSERT_EQ(1024, AppState.keyerRecordCount);
    KeyerUploadWorker();
    EXPECT_EQ(kKeyerSuccess, AppState.uploadResult.load());
    StopSim(&sim);
    std::istringstream log(ReadTextFile(sim.memory + ".keyer"));
    std::vector<std::string> lines;
    for (std::string line; std::getline(log, line);) lines.push_back(line);
    ASSERT_EQ(964u, lines.size());
    EXPECT_EQ(0u, lines[0].find("1b 1fa0 "));  // slot 1012 first
    EXPECT_EQ(0u, lines[8].find("1b 0020 "));  // then slot 4
    EXPECT_EQ(0u, lines.back().find("2e 0018 "));
    for (const std::string& line : lines) ASSERT_NE(std::string::npos, line.find(" 9600")) << line;
    std::string transcript = ReadTextFile(sim.transcript);
    size_t down = transcript.find("keyer speed 1200");
    EXPECT_NE(std::string::npos, down);
    EXPECT_LT(transcript.find("keyer speed 9600"), down);
}

TEST_F(Update, KeyerRecoveryModeSendsNoHandOver) {
    Start({"--device", "keyer", "--keyer-variant", "none"});
    ASSERT_EQ(5, ProbeKeyer(nullptr));
    for (int i = 0; i < kKeyerRecordCount; ++i) {
        keyer[i].address[0] = static_cast<uint8_t>((8 * i) >> 8);
        keyer[i].address[1] = static_cast<uint8_t>(8 * i);
        for (int j = 0; j < 16; ++j) keyer[i].data[j] = j % 2 ? 0x3F : 0xFF;
    }
    KeyerUploadWorker();
    EXPECT_EQ(kKeyerSuccess, AppState.uploadResult.load());
    std::string transcript = ReadTextFile(sim.transcript);
    EXPECT_EQ(std::string::npos, transcript.find("00 10 9b"));
}

TEST_F(Update, KeyerNackStopsTheRun) {
    // The image store is all zero here, so slot 1012 has data: eight phase-one
    // frames come first, and slot 500 is the 505th frame.
    Start({"--device", "keyer", "--keyer-variant", "amber", "--fault", "reply:record:505:0x81"});
    ASSERT_EQ(31, ProbeKeyer(nullptr));
    KeyerUploadWorker();
    EXPECT_EQ(kKeyerChecksumError, AppState.uploadResult.load());
    EXPECT_EQ(52, AppState.keyerProgress.load());
}

TEST_F(Update, KeyerLoaderFallingSilentMidUploadTimesOut) {
    // As above, but from the 505th frame (slot 500) on the loader says nothing.
    Start({"--device", "keyer", "--keyer-variant", "amber", "--fault", "silent:record:505"});
    ASSERT_EQ(31, ProbeKeyer(nullptr));
    KeyerUploadWorker();
    EXPECT_STREQ("Error: VIDUD Timeout !", KeyerStatusMessage(AppState.uploadResult));
    EXPECT_EQ(52, AppState.keyerProgress.load());
}

// The main window and an uploader dialog, as a front end shows them: what
// each control last said and whether it is on.
struct FakeWindow : UploaderView, MainWindowView {
    std::map<int, std::string> text;
    std::map<int, int> on;
    bool ticking = false, ended = false;
    std::string box;
    void SetText(int control, const char* line) override { text[control] = line; }
    void Enable(int control, int state) override { on[control] = state; }
    void SetBarRange(int32_t) override {}
    void SetBarPosition(int32_t) override {}
    int StartWorker(void (*worker)()) override { return PlatformStartThread(worker); }
    void StartTick() override { ticking = true; }
    void StopTick() override { ticking = false; }
    void ShowMessage(const char* line, const char*) override { box = line; }
    void End() override { ended = true; }
    int ChooseFile(int, char*, int) override { return 0; }
    int ChoosePort() override { return 0; }
};

// Every row of the target table through the shared flows: the main window's
// probe, the uploader's load, Update, presses during the run (Load and
// Update dropped, Exit held until the worker is done), and the final
// message; then what the device holds.
TEST_F(Update, EveryTargetThroughTheUploaderFlow) {
    Start({"--device", "t62,psoc,keyer", "--keyer-variant", "amber", "--fault", "corrupt:block:3"});
    std::string keyerText = DataLine(0, std::vector<uint8_t>(16));
    for (int slot = 1; slot < 8; ++slot)
        keyerText += DataLine(static_cast<uint16_t>(16 * slot), std::vector<uint8_t>(16, static_cast<uint8_t>(slot)));
    const std::string files[kTargetCount] = {RandomImageFile(0x1800 + 3000, 21), RandomImageFile(1000, 22),
                                             WriteTempFile(keyerText + ":00000001FF\n")};
    int32_t keyerFrames = 0;
    for (int id = 0; id < kTargetCount; ++id) {
        const TargetRow& row = TargetOf(static_cast<TargetId>(id));
        SCOPED_TRACE(row.key);
        FakeWindow window;
        MainWindowProbe(row, &window);
        ASSERT_EQ(1, window.on[row.updateButton]) << window.text[IDC_PORT_LINE];

        Uploader uploader(row, &window);
        uploader.Open();
        ASSERT_EQ(0, window.on[row.startButton]);
        uploader.LoadPath(files[id].c_str());
        ASSERT_EQ(1, window.on[row.startButton]) << window.text[IDC_STATUS_LINE];
        if (id == kTargetZq3) keyerFrames = row.units();
        uploader.Press(row.startButton);
        ASSERT_TRUE(uploader.Busy()) << window.text[IDC_STATUS_LINE] << window.box;
        const std::string running = window.text[IDC_STATUS_LINE];
        uploader.Press(IDC_LOAD);
        uploader.Press(row.startButton);
        EXPECT_EQ(running, window.text[IDC_STATUS_LINE]);
        uploader.Press(IDC_UPLOADER_EXIT);
        EXPECT_EQ("Please wait: closing when the update ends....", window.text[IDC_STATUS_LINE]);
        EXPECT_FALSE(window.ended);
        for (int64_t until = NowMs() + 60000; uploader.Busy() && NowMs() < until;) {
            PlatformSleep(20);
            uploader.Tick();
        }
        ASSERT_FALSE(uploader.Busy());
        EXPECT_TRUE(window.ended);
        EXPECT_FALSE(window.ticking);
        EXPECT_EQ(1, window.on[IDC_LOAD]);
        // The PSoC's simulated block 3 is corrupted: its run fails.
        const std::string expected = row.message(id == kTargetPsoc ? kPsocVerifyFailed : row.success);
        EXPECT_EQ(expected, window.text[IDC_STATUS_LINE]);
        uploader.Release();
        EXPECT_EQ(nullptr, row.store());

        FakeWindow main;
        MainWindowUploaderGone(row, &main);
        EXPECT_EQ(row.completedText, main.text[IDC_RESULT_LINE]);
        EXPECT_EQ(1, main.on[row.openButton]);
    }
    TargetsClosePort();
    StopSim(&sim);
    std::vector<uint8_t> t62 = ReadBinaryFile(sim.memory + ".t62");
    ASSERT_EQ(static_cast<size_t>(kImageBufferSize), t62.size());
    std::vector<uint8_t> image(kImageBufferSize, 0xFF);
    AppState.hexImage = image.data();
    ASSERT_EQ(0x1800 + 3000, LoadHexImage(files[kTargetT62].c_str(), T62Image));
    EXPECT_TRUE(SameWords(t62, image, 0x1800, 0x1800 + 3000));
    EXPECT_TRUE(SameWords(t62, image, 0, 0x400));
    std::istringstream keyer(ReadTextFile(sim.memory + ".keyer"));
    int records = 0;
    for (std::string line; std::getline(keyer, line);) ++records;
    EXPECT_EQ(keyerFrames, records);
}

// A release whose T62 image is not the file it names (a changed byte),
// chosen after a good HEX file: refused with both digests, and the image
// loaded before is no longer Update's to write.
TEST_F(Update, ReleaseWithAChangedByteLeavesNothingToWrite) {
    Start({"--device", "t62"});
    const TargetRow& row = TargetOf(kTargetT62);
    FakeWindow window;
    MainWindowProbe(row, &window);
    ASSERT_EQ(1, window.on[row.updateButton]) << window.text[IDC_PORT_LINE];
    std::string folder = sim.dir + "/release", hex = RandomImageFile(0x1800 + 3000, 23);
    std::filesystem::create_directory(folder);
    std::string text = ReadTextFile(hex);
    Release release{folder, "Keyer", "2.1", {}};
    ReleaseImage image;
    image.target = "t62", image.file = "t62.hex", image.size = static_cast<int64_t>(text.size());
    image.sha256 = Sha256Hex(text.data(), text.size());
    release.images.push_back(image);
    text[20] = text[20] == '0' ? '1' : '0';
    std::ofstream(folder + "/t62.hex", std::ios::binary) << text;
    std::ofstream(folder + "/release.json", std::ios::binary) << ReleaseJsonText(release);

    Uploader uploader(row, &window);
    uploader.Open();
    uploader.LoadPath(hex.c_str());
    ASSERT_EQ(1, window.on[row.startButton]) << window.text[IDC_STATUS_LINE];
    uploader.LoadPath(folder.c_str());
    EXPECT_EQ("File Error", window.text[IDC_STATUS_LINE]);
    EXPECT_NE(std::string::npos, window.box.find("t62 image t62.hex: the file is not the one the release names: "
                                                 "its SHA-256 is "))
        << window.box;
    EXPECT_EQ(0, window.on[row.startButton]);
    uploader.Press(row.startButton);
    EXPECT_EQ("Error: Please Open a Programming File !", window.text[IDC_STATUS_LINE]);
    uploader.Release();
}

}  // namespace
