// Helpers shared by the image loader tests: temporary files and the image
// stores the loaders reach through AppState, allocated at their exact sizes
// so that the sanitizer build catches a write past either end.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "core/app_state.h"

// A path for a temporary file, unique within the process and across the
// processes ctest runs side by side.
inline std::string TempPath(const std::string& suffix) {
    static int serial = 0;
    return ::testing::TempDir() + "ridorez_" + std::to_string(getpid()) + "_" +
           std::to_string(++serial) + suffix;
}

// Writes text byte for byte (no line end translation) and returns the path.
inline std::string WriteTempFile(const std::string& text, const std::string& suffix = ".hex") {
    std::string path = TempPath(suffix);
    FILE* file = std::fopen(path.c_str(), "wb");
    EXPECT_NE(nullptr, file);
    if (file == nullptr) return path;
    EXPECT_EQ(text.size(), std::fwrite(text.data(), 1, text.size(), file));
    std::fclose(file);
    return path;
}

// One Intel HEX line with its checksum, LF ended.
inline std::string HexLine(uint8_t type, uint16_t address, const std::vector<uint8_t>& data) {
    char field[16];
    std::string line = ":";
    uint32_t sum = static_cast<uint32_t>(data.size()) + (address >> 8) + (address & 0xFF) + type;
    std::snprintf(field, sizeof field, "%02X%04X%02X", static_cast<unsigned>(data.size()), address, type);
    line += field;
    for (uint8_t b : data) {
        std::snprintf(field, sizeof field, "%02X", b);
        line += field;
        sum += b;
    }
    std::snprintf(field, sizeof field, "%02X", (0x100 - (sum & 0xFF)) & 0xFF);
    line += field;
    return line + "\n";
}

inline std::string DataLine(uint16_t address, const std::vector<uint8_t>& data) {
    return HexLine(0x00, address, data);
}

// A HEX file of count pseudo-random bytes from address 0, 16 per line.
inline std::string RandomImageFile(size_t count, uint32_t seed) {
    std::string text;
    uint32_t x = seed;
    for (size_t at = 0; at < count; at += 16) {
        if (at % 0x10000 == 0) text += HexLine(0x04, 0, {0x00, static_cast<uint8_t>(at >> 16)});
        std::vector<uint8_t> line;
        for (size_t i = at; i < count && i < at + 16; ++i) {
            x = x * 1103515245u + 12345u;
            line.push_back(static_cast<uint8_t>(x >> 16));
        }
        text += DataLine(static_cast<uint16_t>(at), line);
    }
    return WriteTempFile(text + ":00000001FF\n");
}

// Counting bytes 0, 1, 2 ... from first.
inline std::vector<uint8_t> Counting(size_t count, uint8_t first = 0) {
    std::vector<uint8_t> bytes(count);
    for (size_t i = 0; i < count; ++i) bytes[i] = static_cast<uint8_t>(first + i);
    return bytes;
}

// Test fixture base: a fresh ImageBuffer and KeyerImage in AppState,
// removed again afterwards; the temporary files go with them.
class ImageStoreTest : public ::testing::Test {
protected:
    void SetUp() override {
        hexImage.assign(kImageBufferSize, 0);
        keyerImage.assign(kKeyerRecordCount, KeyerRecord{});
        AppState.hexImage = hexImage.data();
        AppState.keyerImage = keyerImage.data();
    }
    void TearDown() override {
        AppState.hexImage = nullptr;
        AppState.keyerImage = nullptr;
        for (const std::string& path : files) std::remove(path.c_str());
    }
    std::string File(const std::string& text) {
        files.push_back(WriteTempFile(text));
        return files.back();
    }

    std::vector<uint8_t> hexImage;
    std::vector<KeyerRecord> keyerImage;
    std::vector<std::string> files;
};

const char kEndLine[] = ":00000001FF\n";
