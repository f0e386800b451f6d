// Intel HEX images: one record per line, read into the flat ImageBuffer
// (AppState.hexImage, kImageBufferSize bytes indexed by absolute address).
#pragma once
#include <cstdint>

// Which uploader the image is for; it sets the highest start address a data
// record may have.
enum HexImageKind {
    T62Image = 1,   // records starting at 0x40000 or above are skipped
    PSoCImage = 2,  // records starting above 0x35FF are skipped
};

enum { kT62ImageLimit = 0x3FFFF, kPsocImageLimit = 0x35FF };

// Results of LoadHexImage and LoadKeyerImage below zero.
enum HexLoadResult {
    kHexEmptyPath = -1,       // no path, or an empty one
    kHexOpenFailed = -2,      // the file does not open
    kHexUnexpectedEnd = -3,   // end of file or a read error before the end record
    kHexBadLine = -4,         // a line that is not a record (see ParseHexRecord)
    kHexBadRecordType = -5,   // a record type other than 00, 01, 02 and 04
    kHexNoBuffer = -6,        // the image store was never allocated
};

enum HexRecordType {
    kHexData = 0x00,
    kHexEndOfFile = 0x01,
    kHexExtendedSegment = 0x02,
    kHexExtendedLinear = 0x04,
};

// One parsed line. Its data bytes are in AppState.hexRecordData.
struct HexRecord {
    uint8_t count;     // data bytes, 0-255
    uint16_t address;  // 16-bit load offset
    uint8_t type;
    uint8_t checksum;
};

// Parses one line (without its line end) into record and its data bytes into
// AppState.hexRecordData. Returns 1 when the line is a well-formed record, 0
// when it is not: no ':' first, shorter than its byte count requires, a field
// that is not hexadecimal, or a checksum that does not sum to zero.
//
// Fields sit at fixed positions (count 1-2, address 3-6, type 7-8, data from
// 9, checksum after the data) and each is read from the hex digits at its
// position, upper or lower case, at most its width. A field fails only when
// its first character is not a hex digit, so "1G" reads as 0x01 and the
// checksum has to catch it. Unlike sscanf("%02x") no white space is skipped
// and no sign or "0x" is taken: those would let a field read its neighbour's
// characters or turn "-1" into 0xFF. Characters after the checksum are ignored.
int32_t ParseHexRecord(const char* line, HexRecord* record);

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
