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

void Escape(std::string* out, const std::string& text) {
    out->push_back('"');
    for (char c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out->push_back('\\');
            out->push_back(c);
        } else if (u < 0x20) {
            char code[8];
            std::snprintf(code, sizeof code, "\\u%04x", u);
            *out += code;
        } else {
            out->push_back(c);
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
    if (report.compared) {
        std::snprintf(numbers, sizeof numbers, ",\"rows_differing\":%lld,\"first_difference\":%lld",
                      report.rowsDiffering, report.firstDifference);
        out += numbers;
    }
    if (seconds < 0)
        std::snprintf(numbers, sizeof numbers, ",\"seconds\":null,\"exit\":%d}", report.exit);
    else
        std::snprintf(numbers, sizeof numbers, ",\"seconds\":%.3f,\"exit\":%d}", seconds, report.exit);
    out += numbers;
    return out;
}
