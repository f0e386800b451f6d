// LoadHexImage and ParseHexRecord on hand-written files.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "hex_test_files.h"
#include "image/hex_image.h"
#include "image/hex_record.h"

namespace {

class HexImageTest : public ImageStoreTest {
protected:
    int32_t Load(const std::string& text, int32_t kind = T62Image) {
        return LoadHexImage(File(text).c_str(), kind);
    }
    // Addresses in [from, to) that do not hold 0xFF.
    size_t Written(uint32_t from = 0, uint32_t to = kImageBufferSize) const {
        size_t n = 0;
        for (uint32_t a = from; a < to; ++a) n += hexImage[a] != 0xFF;
        return n;
    }
    std::vector<uint8_t> At(uint32_t address, size_t count) const {
        return std::vector<uint8_t>(hexImage.begin() + address, hexImage.begin() + address + count);
    }
};

TEST_F(HexImageTest, StoresDataAndCountsBytes) {
    EXPECT_EQ(4, Load(":0400000001020304F2\n:00000001FF\n"));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4}), At(0, 4));
    EXPECT_EQ(4u, Written());

    // The largest record: 255 bytes.
    EXPECT_EQ(255, Load(DataLine(0x1234, Counting(255, 1)) + kEndLine));
    EXPECT_EQ(Counting(255, 1), At(0x1234, 255));
    EXPECT_EQ(0xFF, hexImage[0x1233]);
    EXPECT_EQ(0xFF, hexImage[0x1234 + 255]);
}

TEST_F(HexImageTest, EndRecordAloneLoadsNothing) {
    EXPECT_EQ(0, Load(kEndLine));
    EXPECT_EQ(0u, Written());
    // A record without data stores and counts nothing.
    EXPECT_EQ(0, Load(":00100000F0\n:00000001FF\n"));
    EXPECT_EQ(0u, Written());
}

TEST_F(HexImageTest, EveryLoadStartsFromTheFillEvenWhenThePathFails) {
    std::memset(hexImage.data(), 0x00, hexImage.size());
    EXPECT_EQ(kHexEmptyPath, LoadHexImage("", T62Image));
    EXPECT_EQ(0u, Written());

    std::memset(hexImage.data(), 0x00, hexImage.size());
    EXPECT_EQ(kHexEmptyPath, LoadHexImage(nullptr, T62Image));
    EXPECT_EQ(0u, Written());

    ASSERT_EQ(4, Load(":0400000001020304F2\n:00000001FF\n"));
    EXPECT_EQ(kHexOpenFailed, LoadHexImage("/nonexistent/dir/image.hex", T62Image));
    EXPECT_EQ(0u, Written());

    // A folder does not open on Windows; here it opens and its first read fails.
    int32_t result = LoadHexImage(::testing::TempDir().c_str(), T62Image);
    EXPECT_TRUE(result == kHexOpenFailed || result == kHexUnexpectedEnd) << result;
}

TEST_F(HexImageTest, NoBufferIsAFailureNotACrash) {
    AppState.hexImage = nullptr;
    EXPECT_EQ(kHexNoBuffer, LoadHexImage(File(kEndLine).c_str(), T62Image));
}

TEST_F(HexImageTest, ExtendedLinearAddressTakesTheSecondByteOnly) {
    EXPECT_EQ(2, Load(":020000040001F9\n:02001000AABB89\n:00000001FF\n"));
    EXPECT_EQ((std::vector<uint8_t>{0xAA, 0xBB}), At(0x10010, 2));
    EXPECT_EQ(2u, Written());

    EXPECT_EQ(2, Load(":02000004FF01FA\n:02001000AABB89\n:00000001FF\n"));
    EXPECT_EQ((std::vector<uint8_t>{0xAA, 0xBB}), At(0x10010, 2));
    EXPECT_EQ(2u, Written());

    // Back to base 0, and an extended segment address changes nothing.
    EXPECT_EQ(4, Load(":020000040001F9\n:020000040000FA\n:020000021000EC\n:0400000001020304F2\n:00000001FF\n"));
    EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4}), At(0, 4));
}

TEST_F(HexImageTest, ExtendedLinearAddressWithoutItsBytesIsRefused) {
    // It would otherwise take its base from whatever the last record left.
    EXPECT_EQ(kHexBadLine, Load(":020000040003F7\n:00000004FC\n:0100000001FE\n:00000001FF\n"));
    EXPECT_EQ(kHexBadLine, Load(":020000040003F7\n:0100000400FB\n:0100000001FE\n:00000001FF\n"));
}

TEST_F(HexImageTest, PsocSkipsRecordsStartingAboveItsRangeAndGoesOn) {
    const std::string text = DataLine(0x35F8, Counting(16, 0x10)) +  // starts inside: stored whole
                             DataLine(0x3600, Counting(4, 0x40)) +   // starts outside: skipped
                             DataLine(0x0000, Counting(2, 0x50)) + kEndLine;
    EXPECT_EQ(18, Load(text, PSoCImage));
    EXPECT_EQ(Counting(16, 0x10), At(0x35F8, 16));
    EXPECT_EQ(0xFF, hexImage[0x3608]);
    EXPECT_EQ(Counting(2, 0x50), At(0, 2));
    EXPECT_EQ(18u, Written());

    EXPECT_EQ(22, Load(text, T62Image));
    EXPECT_EQ(Counting(4, 0x40), At(0x3600, 4));

    // 0x35FF itself is inside.
    EXPECT_EQ(2, Load(DataLine(0x35FF, {0x77, 0x88}) + kEndLine, PSoCImage));
    EXPECT_EQ((std::vector<uint8_t>{0x77, 0x88}), At(0x35FF, 2));
}

TEST_F(HexImageTest, T62SkipsRecordsAtOrAboveTheBufferEnd) {
    EXPECT_EQ(2, Load(":020000040004F6\n" + DataLine(0x0000, Counting(16)) +
                      ":020000040003F7\n" + DataLine(0xFFFE, {7, 8}) + kEndLine));
    EXPECT_EQ((std::vector<uint8_t>{7, 8}), At(0x3FFFE, 2));
    EXPECT_EQ(2u, Written());
    // A base far beyond the buffer (bits 16-23 all set) as well.
    EXPECT_EQ(0, Load(":02000004FFFFFC\n" + DataLine(0xFFF0, Counting(16)) + kEndLine));
    EXPECT_EQ(0u, Written());
}

TEST_F(HexImageTest, T62StoresAndCountsOnlyThePartInsideTheBuffer) {
    EXPECT_EQ(8, Load(":020000040003F7\n" + DataLine(0xFFF8, Counting(16, 1)) + kEndLine));
    EXPECT_EQ(Counting(8, 1), At(0x3FFF8, 8));
    EXPECT_EQ(8u, Written());
    EXPECT_EQ(1, Load(":020000040003F7\n" + DataLine(0xFFFF, Counting(255, 9)) + kEndLine));
    EXPECT_EQ(9, hexImage[0x3FFFF]);
    EXPECT_EQ(1u, Written());
}

TEST_F(HexImageTest, LineEndsCaseAndTrailingCharactersDoNotMatter) {
    const std::string plain = DataLine(0x0100, Counting(16, 0xA0)) + DataLine(0x0110, {0xBC, 0xDE}) + kEndLine;
    ASSERT_EQ(18, Load(plain));
    const std::vector<uint8_t> expected = hexImage;

    std::string crlf, lower, trailing;
    for (char c : plain) {
        if (c == '\n') crlf += '\r';
        crlf += c;
        lower += static_cast<char>(c >= 'A' && c <= 'F' ? c - 'A' + 'a' : c);
        if (c == '\n') trailing.insert(trailing.size(), "  ; comment 0123");
        trailing += c;
    }
    EXPECT_EQ(18, Load(crlf));
    EXPECT_EQ(expected, hexImage);
    EXPECT_EQ(18, Load(lower));
    EXPECT_EQ(expected, hexImage);
    EXPECT_EQ(18, Load(trailing));
    EXPECT_EQ(expected, hexImage);
    // A last line without a line break, and one that ends in CR only.
    EXPECT_EQ(18, Load(plain.substr(0, plain.size() - 1)));
    EXPECT_EQ(18, Load(plain.substr(0, plain.size() - 1) + "\r"));
    EXPECT_EQ(expected, hexImage);
}

TEST_F(HexImageTest, NothingAfterTheEndRecordIsRead) {
    EXPECT_EQ(4, Load(":0400000001020304F2\n:00000001FF\n:0400100001020304E2\ngarbage\n\n"));
    EXPECT_EQ(4u, Written());
}

TEST_F(HexImageTest, MalformedLinesFailWithWhatCameBeforeThemKept) {
    const std::string before = ":0400000001020304F2\n";
    const std::string nul(1, '\0');
    const std::string bad[] = {
        ":00000001F\n",                      // 10 characters
        ":0400100001020304\n",               // shorter than its byte count requires
        ":0400100001020304E\n",              // one character short
        ":0400100001020304E3\n",             // wrong checksum
        "0400100001020304E2\n",              // no ':'
        ":04001000010G0304E2\n",             // a data field that is not hexadecimal
        ":0400X00001020304E2\n",             // nor the address
        "\n",                                // a blank line
        "\r\n",                              // blank too, once the line end is gone
        ":0400100001020304E2" + nul + "x\n",  // a NUL byte, even after a good record
        nul + ":0400100001020304E2\n",
    };
    for (const std::string& line : bad) {
        std::string text = before + line + kEndLine;
        SCOPED_TRACE(line);
        EXPECT_EQ(kHexBadLine, Load(text));
        EXPECT_EQ((std::vector<uint8_t>{1, 2, 3, 4}), At(0, 4));
        EXPECT_EQ(4u, Written());
    }
}

TEST_F(HexImageTest, FieldsAreReadOnlyFromTheirOwnDigits) {
    HexRecord record;
    // One digit, then a character that is none: the field is that digit and
    // the checksum decides.
    ASSERT_EQ(1, ParseHexRecord(":01000000FGF0", &record));
    EXPECT_EQ(0x0F, AppState.hexRecordData[0]);
    // White space, a plus or a minus are not read. Each of these lines is a
    // good record to sscanf("%02x"): it skips the space and takes a digit of
    // the next field, and it reads "-1" as 0xFF.
    EXPECT_EQ(0, ParseHexRecord(":01000000 F0F", &record));
    EXPECT_EQ(0, ParseHexRecord(":01000000+FF0", &record));
    EXPECT_EQ(0, ParseHexRecord(":01000000-100", &record));
    EXPECT_EQ(0, ParseHexRecord(": 0000001FF", &record));
    EXPECT_EQ(0, ParseHexRecord(nullptr, &record));
}

TEST_F(HexImageTest, ParseGivesTheFieldsAndTheData) {
    HexRecord record;
    ASSERT_EQ(1, ParseHexRecord(":03aBcD00fE01a0e6 trailing", &record));
    EXPECT_EQ(3, record.count);
    EXPECT_EQ(0xABCD, record.address);
    EXPECT_EQ(0x00, record.type);
    EXPECT_EQ(0xE6, record.checksum);
    EXPECT_EQ((std::vector<uint8_t>{0xFE, 0x01, 0xA0}),
              std::vector<uint8_t>(AppState.hexRecordData, AppState.hexRecordData + 3));
}

TEST_F(HexImageTest, UnsupportedRecordTypesFail) {
    EXPECT_EQ(kHexBadRecordType, Load(":0400000001020304F2\n:0400000300003800C1\n:00000001FF\n"));
    EXPECT_EQ(4u, Written());
    EXPECT_EQ(kHexBadRecordType, Load(":04000005000000CD2A\n:00000001FF\n"));
    EXPECT_EQ(kHexBadRecordType, Load(":00000006FA\n:00000001FF\n"));
}

TEST_F(HexImageTest, MissingEndRecordDependsOnTheFinalLineBreak) {
    const std::string data = ":0400000001020304F2\n:0400100001020304E2";
    EXPECT_EQ(kHexUnexpectedEnd, Load(data));
    EXPECT_EQ(8u, Written());
    // The read after the last line break yields an empty line.
    EXPECT_EQ(kHexBadLine, Load(data + "\n"));
    EXPECT_EQ(8u, Written());
    EXPECT_EQ(kHexBadLine, Load(""));
}

TEST_F(HexImageTest, OverlongLinesFailInsteadOfSplitting) {
    // 999 characters fit: the end record padded to that length.
    std::string fits = ":00000001FF" + std::string(999 - 11, ' ');
    EXPECT_EQ(0, Load(fits + "\n"));
    EXPECT_EQ(0, Load(fits + "\r\n"));
    EXPECT_EQ(0, Load(fits));
    // One more character and the line is refused, even when what follows
    // would read as a record of its own.
    std::string tail = ":0400000001020304F2";
    EXPECT_EQ(kHexBadLine, Load(":00000001FF" + std::string(1000 - 11 - tail.size(), ' ') + tail + "\n" + kEndLine));
    EXPECT_EQ(0u, Written());
    EXPECT_EQ(kHexBadLine, Load(std::string(5 * 1024 * 1024, 'Z')));
}

TEST_F(HexImageTest, MegabytesOfGarbageFailCleanly) {
    std::string garbage;
    uint32_t x = 12345;
    for (int i = 0; i < 4 * 1024 * 1024; ++i) {
        x = x * 1103515245u + 12345u;
        garbage += static_cast<char>(x >> 24);
    }
    EXPECT_EQ(kHexBadLine, Load(garbage));
    EXPECT_EQ(kHexBadLine, Load(":" + garbage));
    EXPECT_EQ(0u, Written());
}

}  // namespace
