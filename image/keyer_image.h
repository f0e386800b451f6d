// ZQ3 keyer images: Intel HEX text read into the KeyerImage
// (AppState.keyerImage, kKeyerRecordCount records of 8 program words).
#pragma once
#include <cstdint>

#include "core/app_state.h"
#include "image/hex_image.h"

// Sets every slot of the KeyerImage blank, then stores the data records of
// the file at path, up to the end-of-file record. Returns the number of data
// records read (records, not bytes; one without data counts too), or a
// HexLoadResult. A failed load leaves the blank state plus the records stored
// before the failure.
//
// Slot i is for word addresses 8i to 8i+7; blank it holds address 8i and
// FF 3F eight times. A data record at HEX address A lands at word address
// W = A/2 + base (16 bits; an extended linear address record makes the base
// 0x8000 when its second byte is odd, 0 when even): slot W/8 takes W as its
// address and the data from its first byte on, whatever W modulo 8 is.
// A record longer than 16 bytes goes on into the following slots, 16 bytes
// each, their addresses W+8, W+16 and so on; bytes that would go past the
// last slot are dropped.
int32_t LoadKeyerImage(const char* path);

// Puts slot i of image in its blank state.
void SetKeyerSlotBlank(KeyerRecord* image, int32_t slot);

// Reads the firmware version and the variant code of a loaded image from
// slot 0's word 3: bytes 0x30 and 0x32 are exchanged, then the two bytes are
// swapped when the version comes out above 99. Returns 1, or 0 when a
// pointer is null.
int32_t ReadKeyerImageVersion(const KeyerRecord* image, int32_t* version, int32_t* variant);

// Each IC variant has a band of 50 variant codes, in the order of the IC
// types: AMBER 0-49, TOPAZ 50-99, JADE 100-149, RUBY 150-199. An IC of a
// variant adds its band's first code to the revision it reports.
enum { kKeyerCodesPerVariant = 50, kKeyerVariantCodes = 4 * kKeyerCodesPerVariant };

// The IC variant a variant code is made for, as a KeyerIcType; 0 for a code
// outside 0-199, which names no variant.
int32_t KeyerVariantBand(int32_t variant);

// The first variant code of an IC type's band (0, 50, 100 or 150); 0 for a
// type that is no variant.
int32_t KeyerVariantOffset(int32_t icType);

// The revision a variant code carries: the code less its band's offset
// (0, 50, 100 or 150); -1 when the code names no variant.
int32_t KeyerVariantRevision(int32_t variant);
