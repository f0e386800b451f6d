// The records a HEX file holds for the image loaders, read here straight from
// the fuzz input, without the loaders' own line reader: the loader fuzzers
// store these into a copy of the image of their own and compare.
#pragma once
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "core/app_state.h"
#include "image/hex_record.h"

struct FileRecord {
    HexRecord record;
    std::vector<uint8_t> data;
};

// Walks the file line by line: a line ends at a line feed (or at the end of
// the file), and one carriage return before its end goes with it. A line
// longer than 999 characters or holding a NUL does not parse. Fills records
// with the data and extended linear address records met before the end
// record or the first failure, and returns what a loader must return apart
// from its count: 0 when the end record was reached, kHexUnexpectedEnd when
// the file ended before it (the line after a last line break is an empty
// line, which does not parse), kHexBadLine, or kHexBadRecordType.
inline int32_t ReadFileRecords(const uint8_t* bytes, size_t size, std::vector<FileRecord>* records) {
    records->clear();
    size_t at = 0;
    bool ended = false;  // the last line read ran into the end of the file
    for (;;) {
        if (ended) return kHexUnexpectedEnd;
        size_t end = at;
        while (end < size && bytes[end] != '\n') ++end;
        ended = end == size;
        std::string line(reinterpret_cast<const char*>(bytes) + at, end - at);
        at = end + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.size() > 999 || line.find('\0') != std::string::npos) return kHexBadLine;
        FileRecord r;
        if (!ParseHexRecord(line.c_str(), &r.record)) return kHexBadLine;
        r.data.assign(AppState.hexRecordData, AppState.hexRecordData + r.record.count);
        switch (r.record.type) {
            case kHexEndOfFile: return 0;
            case kHexExtendedSegment: continue;
            case kHexExtendedLinear:
                // The base is the second data byte: a record without it is refused.
                if (r.record.count < 2) return kHexBadLine;
                break;
            case kHexData: break;
            default: return kHexBadRecordType;
        }
        records->push_back(r);
    }
}
