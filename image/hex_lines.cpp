#include "image/hex_lines.h"

namespace {
int32_t lineNumber = 0;  // of the line ReadHexLine read last
bool pastEnd = false;    // that line was none: the file had ended before it
}  // namespace

int32_t HexLineNumber() { return lineNumber; }

bool HexLinePastEnd() { return pastEnd; }

int32_t OpenHexFile(const char* path, FILE** file) {
    *file = nullptr;
    lineNumber = 0;
    pastEnd = false;
    if (path == nullptr || path[0] == '\0') return kHexEmptyPath;
    *file = std::fopen(path, "r");
    if (*file == nullptr) return kHexOpenFailed;
    return 0;
}

int32_t ReadHexLine(FILE* file, char* line) {
    int length = 0;
    ++lineNumber;
    pastEnd = false;
    for (;;) {
        int c = std::getc(file);
        if (c == EOF) {
            if (std::ferror(file)) return kHexUnexpectedEnd;
            pastEnd = length == 0;
            break;
        }
        if (c == '\n') break;
        if (c == '\0') return kHexBadLine;
        if (length == kHexLineSize - 1) {
            // Full. Only a line end may follow (a CR LF counts as one, as it
            // does in the text mode of Windows); anything else is refused
            // rather than read as the next line.
            if (c == '\r') c = std::getc(file);
            if (c == '\n' || (c == EOF && !std::ferror(file))) break;
            return c == EOF ? kHexUnexpectedEnd : kHexBadLine;
        }
        line[length++] = static_cast<char>(c);
    }
    if (length > 0 && line[length - 1] == '\r') --length;
    line[length] = '\0';
    return 0;
}

int32_t NextHexRecord(FILE* file, HexRecord* record) {
    char line[kHexLineSize];
    for (;;) {
        // End of file shows only after a read has met it: a file whose last
        // line ends with a line break yields one more, empty, line first.
        if (std::feof(file) || std::ferror(file)) return kHexUnexpectedEnd;
        int32_t result = ReadHexLine(file, line);
        if (result < 0) return result;
        if (!ParseHexRecord(line, record)) return kHexBadLine;
        switch (record->type) {
            case kHexData:
            case kHexEndOfFile:
                return 0;
            case kHexExtendedLinear:
                // The base is in the second data byte; without it there is
                // nothing but a stale byte of an earlier record to take.
                return record->count >= 2 ? 0 : kHexBadLine;
            case kHexExtendedSegment:
                continue;
            default:
                return kHexBadRecordType;
        }
    }
}
