// How fast the loaders read the largest images they take: a full 256 KiB
// ImageBuffer and a full 64 K-word KeyerImage. Reports MB/s of HEX text.
#include <unistd.h>

#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "core/app_state.h"
#include "image/hex_image.h"
#include "image/keyer_image.h"

namespace {

std::string Field(uint32_t value, int digits) {
    char text[16];
    std::snprintf(text, sizeof text, "%0*X", digits, value);
    return text;
}

std::string Record(uint8_t type, uint16_t address, const uint8_t* data, uint32_t count) {
    uint32_t sum = count + (address >> 8) + (address & 0xFF) + type;
    std::string line = ":" + Field(count, 2) + Field(address, 4) + Field(type, 2);
    for (uint32_t i = 0; i < count; ++i) {
        line += Field(data[i], 2);
        sum += data[i];
    }
    return line + Field((0x100 - (sum & 0xFF)) & 0xFF, 2) + "\r\n";
}

// size random bytes from address 0 as records of perLine bytes, with an
// extended linear address record at every 64 KiB.
std::string HexText(uint32_t size, uint32_t perLine) {
    std::mt19937 random(7);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    std::string text;
    for (uint32_t at = 0; at < size;) {
        if (at % 0x10000 == 0) {
            const uint8_t base[2] = {0, static_cast<uint8_t>(at >> 16)};
            text += Record(0x04, 0, base, 2);
        }
        uint32_t count = perLine;
        uint32_t toBoundary = 0x10000 - at % 0x10000;
        if (count > toBoundary) count = toBoundary;
        if (count > size - at) count = size - at;
        text += Record(0x00, static_cast<uint16_t>(at), &bytes[at], count);
        at += count;
    }
    return text + ":00000001FF\r\n";
}

struct SpeedFile {
    std::string path;
    size_t size;
};

SpeedFile WriteSpeedFile(const std::string& name, const std::string& text) {
    SpeedFile file{"/tmp/image_speed_" + std::to_string(getpid()) + "_" + name + ".hex", text.size()};
    FILE* out = std::fopen(file.path.c_str(), "wb");
    if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size()) std::perror(file.path.c_str());
    if (out != nullptr) std::fclose(out);
    return file;
}

std::vector<SpeedFile> files;

void BM_LoadHexImage(benchmark::State& state) {
    const SpeedFile& file = files[state.range(0)];
    std::vector<uint8_t> image(kImageBufferSize);
    AppState.hexImage = image.data();
    for (auto _ : state) {
        int32_t stored = LoadHexImage(file.path.c_str(), T62Image);
        if (stored != kImageBufferSize) state.SkipWithError("the image did not load whole");
        benchmark::DoNotOptimize(stored);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size));
    AppState.hexImage = nullptr;
}

void BM_LoadKeyerImage(benchmark::State& state) {
    const SpeedFile& file = files[state.range(0)];
    std::vector<KeyerRecord> image(kKeyerRecordCount);
    AppState.keyerImage = image.data();
    for (auto _ : state) {
        int32_t records = LoadKeyerImage(file.path.c_str());
        if (records < 1) state.SkipWithError("the image did not load");
        benchmark::DoNotOptimize(records);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(file.size));
    AppState.keyerImage = nullptr;
}

}  // namespace

// Argument: 0 full image in 16-byte lines, 1 in 255-byte lines; 2 the full
// keyer image in 16-byte lines.
BENCHMARK(BM_LoadHexImage)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadKeyerImage)->Arg(2)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    files.push_back(WriteSpeedFile("full16", HexText(kImageBufferSize, 16)));
    files.push_back(WriteSpeedFile("full255", HexText(kImageBufferSize, 255)));
    files.push_back(WriteSpeedFile("keyer16", HexText(2 * 0x10000, 16)));
    benchmark::Initialize(&argc, argv);
    if (!benchmark::ReportUnrecognizedArguments(argc, argv)) benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    for (const SpeedFile& file : files) std::remove(file.path.c_str());
    return 0;
}
