#include "image/keyer_image.h"

#include <cstring>

#include "image/hex_lines.h"

namespace {

enum { kSlotWords = 8, kSlotBytes = 16 };

void SetSlotAddress(KeyerRecord* record, uint32_t word) {
    record->address[0] = static_cast<uint8_t>(word >> 8);
    record->address[1] = static_cast<uint8_t>(word);
}

// Stores count bytes of data for word address word: into its slot from the
// slot's first byte, on into the following slots when there are more than
// a slot holds, never past the last slot.
void StoreKeyerData(KeyerRecord* image, uint32_t word, const uint8_t* data, uint32_t count) {
    uint32_t slot = word / kSlotWords;
    uint32_t done = 0;
    do {
        KeyerRecord* record = &image[slot];
        SetSlotAddress(record, word);
        uint32_t n = count - done;
        if (n > kSlotBytes) n = kSlotBytes;
        std::memcpy(record->data, data + done, n);
        done += n;
        word += kSlotWords;
        ++slot;
    } while (done < count && slot < kKeyerRecordCount);
}

// The image's version and variant bytes have their 0x30 and 0x32 exchanged.
int32_t UnswapDigitCode(int32_t code) {
    if (code == 0x30) return 0x32;
    if (code == 0x32) return 0x30;
    return code;
}

}  // namespace

void SetKeyerSlotBlank(KeyerRecord* image, int32_t slot) {
    KeyerRecord* record = &image[slot];
    SetSlotAddress(record, static_cast<uint32_t>(slot) * kSlotWords);
    for (int i = 0; i < kSlotBytes; i += 2) {
        record->data[i] = 0xFF;
        record->data[i + 1] = 0x3F;
    }
}

int32_t LoadKeyerImage(const char* path) {
    KeyerRecord* image = AppState.keyerImage;
    if (image == nullptr) return kHexNoBuffer;
    for (int32_t slot = 0; slot < kKeyerRecordCount; ++slot) SetKeyerSlotBlank(image, slot);

    FILE* file;
    int32_t result = OpenHexFile(path, &file);
    if (result < 0) return result;

    uint32_t base = 0;
    int64_t records = 0;
    for (;;) {
        HexRecord record;
        result = NextHexRecord(file, &record);
        if (result < 0) break;
        if (record.type == kHexEndOfFile) {
            result = records > INT32_MAX ? INT32_MAX : static_cast<int32_t>(records);
            break;
        }
        if (record.type == kHexExtendedLinear) {
            // The byte base of the HEX file, 64 KiB steps, halved into words.
            base = (AppState.hexRecordData[1] * 0x8000u) & 0xFFFF;
            continue;
        }
        uint32_t word = ((record.address >> 1) + base) & 0xFFFF;
        StoreKeyerData(image, word, AppState.hexRecordData, record.count);
        ++records;
    }
    std::fclose(file);
    return result;
}

int32_t ReadKeyerImageVersion(const KeyerRecord* image, int32_t* version, int32_t* variant) {
    if (image == nullptr || version == nullptr || variant == nullptr) return 0;
    int32_t v = UnswapDigitCode(image[0].data[6]);
    int32_t k = UnswapDigitCode(image[0].data[7]);
    if (v > 99) {
        int32_t t = v;
        v = k;
        k = t;
    }
    *version = v;
    *variant = k;
    return 1;
}

int32_t KeyerVariantBand(int32_t variant) {
    if (variant < 0 || variant >= kKeyerVariantCodes) return 0;
    return kIcAmber + variant / kKeyerCodesPerVariant;
}

int32_t KeyerVariantOffset(int32_t icType) {
    if (icType < kIcAmber || icType > kIcRuby) return 0;
    return kKeyerCodesPerVariant * (icType - kIcAmber);
}

int32_t KeyerVariantRevision(int32_t variant) {
    int32_t band = KeyerVariantBand(variant);
    if (band == 0) return -1;
    return variant - KeyerVariantOffset(band);
}
