// One line of an Intel HEX file as a record, and the results every reader
// of such a file gives. Below the line reader (hex_lines.h) and both image
// loaders.
#pragma once
#include <cstdint>

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
