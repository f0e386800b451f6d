// The loaders against HEX files written by another program: srec_cat turns
// random binaries into Intel HEX in several shapes, and the loaded image must
// be exactly the binary.
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/app_state.h"
#include "hex_test_files.h"
#include "image/hex_image.h"
#include "image/keyer_image.h"

namespace {

typedef std::vector<uint8_t> Bytes;

struct Piece {
    uint32_t offset;
    uint32_t length;
};

struct Shape {
    const char* name;
    std::vector<Piece> pieces;
    const char* options;  // srec_cat output options
    bool lowerCase;
};

bool HaveSrecCat() { return std::system("srec_cat -version >/dev/null 2>&1") == 0; }

Bytes RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 random(seed);
    Bytes bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

std::string ReadText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Data records in a HEX text: lines whose type field reads 00.
int DataLines(const std::string& text) {
    int n = 0;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) n += line.size() > 9 && line.compare(7, 2, "00") == 0;
    return n;
}

// The pieces of a shape filled with random bytes, laid out at their offsets
// over 0xFF, and the HEX file srec_cat makes of them.
class HexOracleTest : public ImageStoreTest, public ::testing::WithParamInterface<Shape> {
protected:
    void SetUp() override {
        ImageStoreTest::SetUp();
        // The oracle is part of the set-up: without it these tests would
        // pass having checked nothing.
        ASSERT_TRUE(HaveSrecCat()) << "srec_cat is missing: install the package srecord (scripts/setup.sh does)";
    }

    // Builds the file; flat gets the binary laid out at its addresses.
    std::string MakeHex(const Shape& shape, uint32_t flatSize, Bytes* flat) {
        flat->assign(flatSize, 0xFF);
        std::string command = "srec_cat";
        uint32_t seed = 1;
        for (const Piece& piece : shape.pieces) {
            Bytes bytes = RandomBytes(piece.length, seed++);
            files.push_back(WriteTempFile(std::string(bytes.begin(), bytes.end()), ".bin"));
            command += " " + files.back() + " -binary -offset " + std::to_string(piece.offset);
            for (uint32_t i = 0; i < piece.length && piece.offset + i < flatSize; ++i) (*flat)[piece.offset + i] = bytes[i];
        }
        files.push_back(TempPath(".hex"));
        const std::string hex = files.back();
        command += std::string(" -o ") + hex + " -intel " + shape.options;
        if (shape.lowerCase) command += " && tr A-F a-f <" + hex + " >" + hex + ".tmp && mv " + hex + ".tmp " + hex;
        EXPECT_EQ(0, std::system(command.c_str())) << command;
        return hex;
    }
};

std::string ShapeName(const ::testing::TestParamInfo<Shape>& info) { return info.param.name; }

const uint32_t kFull = kImageBufferSize;

class T62Oracle : public HexOracleTest {};

TEST_P(T62Oracle, ImageIsTheBinary) {
    Bytes flat;
    std::string hex = MakeHex(GetParam(), kImageBufferSize, &flat);
    int32_t expected = 0;
    for (const Piece& piece : GetParam().pieces) {
        if (piece.offset < kImageBufferSize) expected += std::min<uint32_t>(piece.length, kImageBufferSize - piece.offset);
    }
    EXPECT_EQ(expected, LoadHexImage(hex.c_str(), T62Image));
    EXPECT_TRUE(flat == hexImage) << "the loaded image differs from the binary";
}

INSTANTIATE_TEST_SUITE_P(
    Srecord, T62Oracle,
    ::testing::Values(
        Shape{"Full16", {{0, kFull}}, "-Output_Block_Size 16", false},
        Shape{"Full32CrLf", {{0, kFull}}, "-Output_Block_Size 32 -CRLF", false},
        Shape{"Full255Lower", {{0, kFull}}, "-Output_Block_Size 255", true},
        Shape{"Sparse32", {{0x123, 5000}, {0x1FFF0, 0x30}, {0x3FF80, 0x80}}, "-Output_Block_Size 32 -CRLF", true},
        // Data past the end of the buffer is skipped.
        Shape{"PastTheEnd16", {{0x3FF00, 0x200}}, "-Output_Block_Size 16", false},
        Shape{"PastTheEnd255", {{0x3FE05, 0x400}}, "-Output_Block_Size 255", true}),
    ShapeName);

// Whole records on 16- and 32-byte boundaries: the PSoC limit falls between
// two of them, so exactly the bytes below 0x3600 are stored.
class PsocOracle : public HexOracleTest {};

TEST_P(PsocOracle, ImageIsTheBinaryBelowTheLimit) {
    Bytes flat;
    std::string hex = MakeHex(GetParam(), kImageBufferSize, &flat);
    std::fill(flat.begin() + kPsocImageLimit + 1, flat.end(), 0xFF);
    EXPECT_EQ(kPsocImageLimit + 1, LoadHexImage(hex.c_str(), PSoCImage));
    EXPECT_TRUE(flat == hexImage) << "the loaded image differs from the binary";
}

INSTANTIATE_TEST_SUITE_P(
    Srecord, PsocOracle,
    ::testing::Values(Shape{"Block16", {{0, 0x8000}}, "-Output_Block_Size 16", false},
                      Shape{"Block32Lower", {{0, 0x4000}}, "-Output_Block_Size 32 -CRLF", true}),
    ShapeName);

// Word-addressed: 16 bytes a line on 16-byte boundaries give one record per
// slot, each with its slot's own address; 32 bytes a line fill the same
// slots with half the records.
class KeyerOracle : public HexOracleTest {};

TEST_P(KeyerOracle, SlotsAreTheBinary) {
    const Shape& shape = GetParam();
    Bytes flat;
    std::string hex = MakeHex(shape, 2 * 0x10000, &flat);
    Bytes covered(kKeyerRecordCount, 0);
    for (const Piece& piece : shape.pieces) {
        for (uint32_t slot = piece.offset / 16; slot < (piece.offset + piece.length) / 16; ++slot) covered[slot] = 1;
    }
    const int lines = DataLines(ReadText(hex));
    EXPECT_EQ(lines, LoadKeyerImage(hex.c_str()));
    EXPECT_GT(lines, 0);
    for (int slot = 0; slot < kKeyerRecordCount; ++slot) {
        const KeyerRecord& record = keyerImage[slot];
        ASSERT_EQ(8 * slot, record.address[0] << 8 | record.address[1]) << "slot " << slot;
        for (int i = 0; i < 16; ++i) {
            uint8_t expected = covered[slot] ? flat[16 * slot + i] : (i % 2 ? 0x3F : 0xFF);
            ASSERT_EQ(expected, record.data[i]) << "slot " << slot << " byte " << i;
        }
    }
}

// Pieces on 16-byte boundaries, 16 bytes long or more, all within 128 KiB.
INSTANTIATE_TEST_SUITE_P(
    Srecord, KeyerOracle,
    ::testing::Values(Shape{"Full16", {{0, 0x20000}}, "-Output_Block_Size 16", false},
                      Shape{"Full32Lower", {{0, 0x20000}}, "-Output_Block_Size 32 -CRLF", true},
                      Shape{"Sparse16", {{0x100, 0x40}, {0xFFF0, 0x20}, {0x1FF00, 0x100}}, "-Output_Block_Size 16", true}),
    ShapeName);

}  // namespace
