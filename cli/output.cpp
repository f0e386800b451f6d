#include "cli/output.h"

#include <cstdarg>

namespace {

int quietRun = 0;
int jsonRun = 0;
FILE* openLine = nullptr;  // the stream with a progress line drawn in place

// A line redrawn in place on the terminal shows under both streams when
// they share it: the next text starts below it, whichever stream it goes to.
void BreakLine() {
    if (openLine == nullptr) return;
    std::fputc('\n', openLine);
    std::fflush(openLine);
    openLine = nullptr;
}

void PutLine(FILE* stream, const char* format, va_list args) {
    BreakLine();
    std::vfprintf(stream, format, args);
    std::fputc('\n', stream);
    std::fflush(stream);
}

// The length of the well-formed UTF-8 sequence at text[i] (1 to 4), or 0
// when none starts there: a stray continuation byte, an overlong form, a
// surrogate, a code point above U+10FFFF or a sequence cut short.
size_t Utf8Length(const std::string& text, size_t i) {
    const unsigned char* s = reinterpret_cast<const unsigned char*>(text.data()) + i;
    size_t left = text.size() - i;
    unsigned char c = s[0];
    size_t n;
    unsigned char low = 0x80, high = 0xBF;  // the allowed range of the second byte
    if (c < 0x80) return 1;
    if (c >= 0xC2 && c <= 0xDF) {
        n = 2;
    } else if (c >= 0xE0 && c <= 0xEF) {
        n = 3;
        if (c == 0xE0) low = 0xA0;
        if (c == 0xED) high = 0x9F;
    } else if (c >= 0xF0 && c <= 0xF4) {
        n = 4;
        if (c == 0xF0) low = 0x90;
        if (c == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (left < n || s[1] < low || s[1] > high) return 0;
    for (size_t k = 2; k < n; ++k)
        if (s[k] < 0x80 || s[k] > 0xBF) return 0;
    return n;
}

// text as a JSON string. A name need not be UTF-8 (a file name from an old
// archive): each byte that is not part of a well-formed sequence becomes
// U+FFFD, so that the object stays valid JSON.
void Escape(std::string* out, const std::string& text) {
    out->push_back('"');
    for (size_t i = 0; i < text.size();) {
        unsigned char u = static_cast<unsigned char>(text[i]);
        size_t n = Utf8Length(text, i);
        if (n == 0) {
            *out += "\\ufffd";
            ++i;
        } else if (u == '"' || u == '\\') {
            out->push_back('\\');
            out->push_back(text[i++]);
        } else if (u < 0x20 || u == 0x7F) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", u);
            *out += code;
            ++i;
        } else {
            out->append(text, i, n);
            i += n;
        }
    }
    out->push_back('"');
}

}  // namespace

void OutputSetup(int quiet, int json) {
    quietRun = quiet;
    jsonRun = json;
}

int OutputQuiet() { return quietRun; }

FILE* RunStream() { return jsonRun ? stderr : stdout; }

void Say(const char* format, ...) {
    if (quietRun) return;
    va_list args;
    va_start(args, format);
    PutLine(RunStream(), format, args);
    va_end(args);
}

void SayFinal(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PutLine(RunStream(), format, args);
    va_end(args);
}

void Complain(const char* format, ...) {
    va_list args;
    va_start(args, format);
    PutLine(stderr, format, args);
    va_end(args);
}

void OutputLineOpen(FILE* stream, int open) { openLine = open ? stream : nullptr; }

std::string JsonString(const std::string& text) {
    std::string out;
    Escape(&out, text);
    return out;
}

std::string JsonReport(const CliReport& report, double seconds) {
    std::string out = "{\"target\":";
    Escape(&out, report.target);
    out += ",\"port\":";
    Escape(&out, report.port);
    out += ",\"file\":";
    if (report.file.empty())
        out += "null";
    else
        Escape(&out, report.file);
    char numbers[256];
    std::snprintf(numbers, sizeof numbers, ",\"bytes\":%lld,\"result\":%d,\"message\":", report.bytes, report.result);
    out += numbers;
    Escape(&out, report.message);
    out += ",\"advice\":";
    if (report.advice.empty())
        out += "null";
    else
        Escape(&out, report.advice);
    out += ",\"found\":" + (report.found.empty() ? std::string("null") : report.found);
    if (report.compared) {
        std::snprintf(numbers, sizeof numbers, ",\"rows_differing\":%lld,\"first_difference\":%lld",
                      report.rowsDiffering, report.firstDifference);
        out += numbers;
    }
    if (!report.targets.empty()) out += ",\"targets\":" + report.targets;
    if (!report.stoppedBy.empty()) {
        out += ",\"stopped_by\":";
        Escape(&out, report.stoppedBy);
    }
    if (seconds < 0)
        std::snprintf(numbers, sizeof numbers, ",\"seconds\":null,\"exit\":%d}", report.exit);
    else
        std::snprintf(numbers, sizeof numbers, ",\"seconds\":%.3f,\"exit\":%d}", seconds, report.exit);
    out += numbers;
    return out;
}
