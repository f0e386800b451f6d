// LoadKeyerImage on any file: the result and every slot of the KeyerImage as
// the file's records (read by fuzz_hex_records.h) make them, and nothing
// written outside the KeyerImage (ASan).
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/app_state.h"
#include "fuzz_hex_records.h"
#include "fuzz_input_file.h"
#include "image/keyer_image.h"

namespace {

void SetAddress(KeyerRecord* slot, uint32_t word) {
    slot->address[0] = static_cast<uint8_t>(word >> 8);
    slot->address[1] = static_cast<uint8_t>(word);
}

// The store the records make: slot i blank is address 8i and FF 3F eight
// times; a data record at HEX address A goes to word W = A/2 + base (16
// bits) and fills slot W/8 from its first byte, with W as its address; the
// bytes past 16 go on into the next slots (addresses W+8, W+16, ...) up to
// the last slot. An extended linear address record sets the base to 0x8000
// for an odd second byte, 0 for an even one. Returns the data records.
int32_t StoreRecords(const std::vector<FileRecord>& records, KeyerRecord* image) {
    for (uint32_t i = 0; i < kKeyerRecordCount; ++i) {
        SetAddress(&image[i], 8 * i);
        for (int j = 0; j < 16; ++j) image[i].data[j] = j % 2 ? 0x3F : 0xFF;
    }
    uint32_t base = 0;
    int32_t count = 0;
    for (const FileRecord& r : records) {
        if (r.record.type == kHexExtendedLinear) {
            base = r.data[1] % 2 ? 0x8000 : 0;
            continue;
        }
        ++count;
        uint32_t word = (r.record.address / 2 + base) % 0x10000;
        uint32_t slot = word / 8;
        if (r.data.empty()) SetAddress(&image[slot], word);
        for (size_t i = 0; i < r.data.size(); ++i) {
            uint32_t s = slot + static_cast<uint32_t>(i / 16);
            if (s >= kKeyerRecordCount) break;
            SetAddress(&image[s], word + 8 * static_cast<uint32_t>(i / 16));
            image[s].data[i % 16] = r.data[i];
        }
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static KeyerRecord* image = new KeyerRecord[kKeyerRecordCount];
    static KeyerRecord* expected = new KeyerRecord[kKeyerRecordCount];
    AppState.keyerImage = image;
    const char* path = WriteFuzzInput("fuzz_load_keyer_image", data, size);

    std::vector<FileRecord> records;
    const int32_t outcome = ReadFileRecords(data, size, &records);
    int32_t result = LoadKeyerImage(path);
    int32_t count = StoreRecords(records, expected);
    if (result != (outcome == 0 ? count : outcome)) std::abort();
    if (std::memcmp(image, expected, kKeyerImageSize) != 0) std::abort();
    return 0;
}
