// Intel HEX images: one record per line, read into the flat ImageBuffer
// (AppState.hexImage, kImageBufferSize bytes indexed by absolute address).
#pragma once
#include <cstdint>

#include "image/hex_record.h"

// Which uploader the image is for; it sets the highest start address a data
// record may have.
enum HexImageKind {
    T62Image = 1,   // records starting at 0x40000 or above are skipped
    PSoCImage = 2,  // records starting at kPsocImageEnd or above are skipped
};

enum {
    kT62ImageLimit = 0x3FFFF,
    kPsocImageEnd = 0x3600,  // the PSoC's flash: 216 blocks of 64 bytes
    kPsocImageLimit = kPsocImageEnd - 1,
};

// Fills the ImageBuffer with 0xFF, then stores the data records of the file
// at path, up to the end-of-file record. Returns the number of data bytes
// stored, or a HexLoadResult. A failed load leaves the 0xFF fill plus the
// records stored before the failure.
//
// A data record is skipped, not stored nor counted, when its absolute start
// address lies above the kind's limit. One that starts within the limit is
// stored whole, except that bytes at 0x40000 and above, past the end of the
// ImageBuffer, are neither stored nor counted. A kind other than PSoCImage
// is taken as T62Image.
//
// Lines follow the rules of ReadHexLine (hex_lines.h): a line longer than 999
// characters or holding a NUL byte fails with kHexBadLine, and so does an
// extended linear address record with fewer than two data bytes. A file without an
// end record gives kHexBadLine when its last line ends with a line break (the
// read after it yields an empty line) and kHexUnexpectedEnd when it does not.
int32_t LoadHexImage(const char* path, int32_t kind);

// Of the addresses from up to (not including) to, the first at which the
// last LoadHexImage stored a byte (whatever its value, 0xFF too), or -1 when
// it stored none there. Tells data from the fill where both read 0xFF.
int32_t HexImageFirstStored(uint32_t from, uint32_t to);
