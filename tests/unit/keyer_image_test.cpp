// LoadKeyerImage, its slots and the version and variant rule.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "hex_test_files.h"
#include "image/keyer_image.h"

namespace {

typedef std::vector<uint8_t> Bytes;

const Bytes kBlankData = {0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F,
                          0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F, 0xFF, 0x3F};

class KeyerImageTest : public ImageStoreTest {
protected:
    int32_t Load(const std::string& text) { return LoadKeyerImage(File(text).c_str()); }
    int Address(int slot) const { return keyerImage[slot].address[0] << 8 | keyerImage[slot].address[1]; }
    Bytes Data(int slot) const { return Bytes(keyerImage[slot].data, keyerImage[slot].data + 16); }
    bool Blank(int slot) const { return Address(slot) == 8 * slot && Data(slot) == kBlankData; }
    // Slots that are not blank.
    int Changed() const {
        int n = 0;
        for (int i = 0; i < kKeyerRecordCount; ++i) n += !Blank(i);
        return n;
    }
    int32_t Version(uint8_t low, uint8_t high, int32_t* variant) {
        keyerImage[0].data[6] = low;
        keyerImage[0].data[7] = high;
        int32_t version = -1;
        EXPECT_EQ(1, ReadKeyerImageVersion(keyerImage.data(), &version, variant));
        return version;
    }
};

TEST_F(KeyerImageTest, EveryLoadStartsFromTheBlankState) {
    std::memset(keyerImage.data(), 0, kKeyerImageSize);
    EXPECT_EQ(0, Load(kEndLine));
    EXPECT_EQ(0, Changed());
    // Slot 8191 at the far end reads address 0xFFF8.
    EXPECT_EQ(0xFF, keyerImage[8191].address[0]);
    EXPECT_EQ(0xF8, keyerImage[8191].address[1]);

    ASSERT_EQ(1, Load(DataLine(0x0010, Counting(16)) + kEndLine));
    EXPECT_EQ(kHexEmptyPath, LoadKeyerImage(""));
    EXPECT_EQ(0, Changed());
    ASSERT_EQ(1, Load(DataLine(0x0010, Counting(16)) + kEndLine));
    EXPECT_EQ(kHexOpenFailed, LoadKeyerImage("/nonexistent/dir/image.bin"));
    EXPECT_EQ(0, Changed());
}

TEST_F(KeyerImageTest, NoStoreIsAFailureNotACrash) {
    AppState.keyerImage = nullptr;
    EXPECT_EQ(kHexNoBuffer, LoadKeyerImage(File(kEndLine).c_str()));
    int32_t version, variant;
    EXPECT_EQ(0, ReadKeyerImageVersion(nullptr, &version, &variant));
}

TEST_F(KeyerImageTest, SixteenByteLineFillsItsSlot) {
    EXPECT_EQ(1, Load(DataLine(0x0010, Counting(16, 0x80)) + kEndLine));
    EXPECT_EQ(8, Address(1));
    EXPECT_EQ(Counting(16, 0x80), Data(1));
    EXPECT_EQ(1, Changed());
}

TEST_F(KeyerImageTest, ExtendedLinearAddressMovesTheBaseByHalfTheWords) {
    EXPECT_EQ(2, Load(":020000040001F9\n" + DataLine(0x000E, Counting(4, 1)) +
                      ":020000040002F8\n" + DataLine(0x0000, Counting(2, 9)) + kEndLine));
    EXPECT_EQ(0x8007, Address(4096));
    Bytes slot = Data(4096);
    EXPECT_EQ(Counting(4, 1), Bytes(slot.begin(), slot.begin() + 4));
    EXPECT_EQ(0, Address(0));
    EXPECT_EQ(9, Data(0)[0]);
    EXPECT_EQ(2, Changed());

    // Only the parity of the second byte counts; the first is ignored.
    EXPECT_EQ(1, Load(":02000004FF03F8\n" + DataLine(0xFFFE, {0xAB}) + kEndLine));
    EXPECT_EQ(0xFFFF, Address(8191));
    EXPECT_EQ(0xAB, Data(8191)[0]);
}

TEST_F(KeyerImageTest, ShortOrOddLinesGoToTheStartOfTheirSlot) {
    // 8 bytes at HEX 0x0008 (word 4): slot 0, address 4, bytes 0-7.
    EXPECT_EQ(1, Load(DataLine(0x0008, Counting(8, 0x40)) + kEndLine));
    EXPECT_EQ(4, Address(0));
    Bytes expected = Counting(8, 0x40);
    expected.insert(expected.end(), kBlankData.begin() + 8, kBlankData.end());
    EXPECT_EQ(expected, Data(0));

    // An odd HEX address loses its remainder: 0x0011 is word 8.
    EXPECT_EQ(1, Load(DataLine(0x0011, {0x12, 0x34}) + kEndLine));
    EXPECT_EQ(8, Address(1));
    EXPECT_EQ(0x12, Data(1)[0]);
    EXPECT_EQ(0x34, Data(1)[1]);
    EXPECT_EQ(1, Changed());
}

TEST_F(KeyerImageTest, EveryDataLineCountsAndTheLaterOneWins) {
    EXPECT_EQ(3, Load(DataLine(0x0020, Counting(16, 0x00)) + DataLine(0x0020, Counting(4, 0xA0)) +
                      DataLine(0x0036, {}) + kEndLine));
    Bytes expected = Counting(16, 0x00);
    for (int i = 0; i < 4; ++i) expected[i] = static_cast<uint8_t>(0xA0 + i);
    EXPECT_EQ(expected, Data(2));
    // The line without data changed slot 3's address and nothing else.
    EXPECT_EQ(0x1B, Address(3));
    EXPECT_EQ(kBlankData, Data(3));
    EXPECT_EQ(2, Changed());
}

TEST_F(KeyerImageTest, LongLinesGoOnIntoTheFollowingSlots) {
    // 40 bytes at word 4: slot 0 from word 4, slot 1 from word 12, slot 2
    // from word 20 with the last 8 bytes.
    Bytes data = Counting(40, 0x10);
    EXPECT_EQ(1, Load(DataLine(0x0008, data) + kEndLine));
    EXPECT_EQ(4, Address(0));
    EXPECT_EQ(Bytes(data.begin(), data.begin() + 16), Data(0));
    EXPECT_EQ(12, Address(1));
    EXPECT_EQ(Bytes(data.begin() + 16, data.begin() + 32), Data(1));
    EXPECT_EQ(20, Address(2));
    Bytes last(data.begin() + 32, data.end());
    last.insert(last.end(), kBlankData.begin() + 8, kBlankData.end());
    EXPECT_EQ(last, Data(2));
    EXPECT_EQ(3, Changed());
}

TEST_F(KeyerImageTest, LongLinesStopAtTheLastSlot) {
    // Word 0xFFF8 is the start of slot 8191; what does not fit is dropped.
    EXPECT_EQ(1, Load(":020000040001F9\n" + DataLine(0xFFF0, Counting(255, 1)) + kEndLine));
    EXPECT_EQ(0xFFF8, Address(8191));
    EXPECT_EQ(Counting(16, 1), Data(8191));
    EXPECT_EQ(1, Changed());

    EXPECT_EQ(1, Load(":020000040001F9\n" + DataLine(0xFFFE, Counting(32, 1)) + kEndLine));
    EXPECT_EQ(0xFFFF, Address(8191));
    EXPECT_EQ(Counting(16, 1), Data(8191));
    EXPECT_EQ(1, Changed());
}

TEST_F(KeyerImageTest, FailuresAreThoseOfTheHexLoader) {
    const std::string data = DataLine(0x0000, Counting(16));
    EXPECT_EQ(kHexUnexpectedEnd, Load(data.substr(0, data.size() - 1)));
    EXPECT_EQ(kHexBadLine, Load(data));
    EXPECT_EQ(kHexBadLine, Load(data + "\n" + kEndLine));
    EXPECT_EQ(kHexBadRecordType, Load(data + ":0400000300003800C1\n" + kEndLine));
    EXPECT_EQ(Counting(16), Data(0));  // what came before the failing line stays
    EXPECT_EQ(kHexBadLine, Load(data + ":00000001FF" + std::string(1000, ' ') + "\n" + kEndLine));
    EXPECT_EQ(1, Load(data + ":020000021000EC\n" + kEndLine));
}

TEST_F(KeyerImageTest, VersionAndVariantFromWordThree) {
    int32_t variant = -1;
    EXPECT_EQ(31, Version(0x1F, 0x67, &variant));
    EXPECT_EQ(103, variant);
    EXPECT_EQ(31, Version(0x67, 0x1F, &variant));  // above 99: swapped
    EXPECT_EQ(103, variant);
    EXPECT_EQ(50, Version(0x30, 0x05, &variant));  // 0x30 reads as 0x32
    EXPECT_EQ(5, variant);
    EXPECT_EQ(48, Version(0x32, 0x30, &variant));  // and 0x32 as 0x30, each on its own
    EXPECT_EQ(50, variant);

    // A file without data for word 3.
    ASSERT_EQ(0, Load(kEndLine));
    int32_t version = -1;
    ASSERT_EQ(1, ReadKeyerImageVersion(keyerImage.data(), &version, &variant));
    EXPECT_EQ(63, version);
    EXPECT_EQ(255, variant);
    EXPECT_EQ(0, KeyerVariantBand(variant));
}

TEST(KeyerVariant, BandsAndRevisions) {
    struct {
        int32_t code, band, revision;
    } cases[] = {
        {0, kIcAmber, 0},    {49, kIcAmber, 49},   {50, kIcTopaz, 0},  {99, kIcTopaz, 49},
        {100, kIcJade, 0},   {103, kIcJade, 3},    {149, kIcJade, 49}, {150, kIcRuby, 0},
        {199, kIcRuby, 49},  {200, 0, -1},         {255, 0, -1},       {-1, 0, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        EXPECT_EQ(c.band, KeyerVariantBand(c.code));
        EXPECT_EQ(c.revision, KeyerVariantRevision(c.code));
    }
}

}  // namespace
