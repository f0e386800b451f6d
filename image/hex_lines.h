// Reading an Intel HEX text file line by line and record by record. Both
// image loaders (hex_image.cpp, keyer_image.cpp) walk their files with these.
#pragma once
#include <cstdint>
#include <cstdio>

#include "image/hex_record.h"

// A line holds at most 999 characters, its line feed not counted.
enum { kHexLineSize = 1000 };

// Opens path for reading in text mode. Returns 0 with *file set, kHexEmptyPath
// for a null or empty path, kHexOpenFailed when the file does not open.
int32_t OpenHexFile(const char* path, FILE** file);

// Reads the next line into line (kHexLineSize bytes) without its line feed
// and without one carriage return before it. Returns 0, kHexBadLine for a
// line longer than 999 characters or one that holds a NUL byte (the NUL
// would hide the rest of the line), or kHexUnexpectedEnd on a read error.
// At end of file the line is empty; a last line without a line break is
// returned whole and leaves the stream at end of file.
int32_t ReadHexLine(FILE* file, char* line);

// Reads lines up to the next data, end-of-file or extended linear address
// record, passing over extended segment address records. Returns 0 with the
// record in *record and its data in AppState.hexRecordData, or:
//   kHexUnexpectedEnd  the stream was at end of file or had a read error
//                      before a line was read
//   kHexBadLine        a line ReadHexLine or ParseHexRecord refuses, or an
//                      extended linear address record without its two bytes
//   kHexBadRecordType  any other record type
int32_t NextHexRecord(FILE* file, HexRecord* record);

// The number of the line ReadHexLine read last since OpenHexFile, the first
// line being 1: after a load that failed, the line that made it fail.
int32_t HexLineNumber();

// Whether that line was none at all: the file had ended before it (a file
// without its end-of-file record).
bool HexLinePastEnd();
