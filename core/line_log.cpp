#include "core/line_log.h"

#include <chrono>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <ctime>

namespace {

FILE* logFile = nullptr;
std::chrono::steady_clock::time_point logStart;

// One line of the log is built here before it is written in one call; the
// longest is a chunk of kChunkBytes bytes.
enum { kChunkBytes = 512, kLineSize = 32 + 3 * kChunkBytes };

long long Micros() {
    using namespace std::chrono;
    return static_cast<long long>(duration_cast<microseconds>(steady_clock::now() - logStart).count());
}

void WriteLine(const char* line) {
    std::fputs(line, logFile);
    std::fflush(logFile);
}

}  // namespace

int LineLogOpen(const char* path) {
    LineLogClose();
    logFile = std::fopen(path, "w");
    if (logFile == nullptr) return 0;
    logStart = std::chrono::steady_clock::now();
    char when[64] = "";
    std::time_t now = std::time(nullptr);
    std::tm* local = std::localtime(&now);
    if (local != nullptr) std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", local);
    LineLogNote("log started %s", when);
    return 1;
}

void LineLogClose() {
    if (logFile == nullptr) return;
    std::fclose(logFile);
    logFile = nullptr;
}

void LineLogBytes(LineDirection direction, uint32_t baud, const uint8_t* bytes, uint32_t count) {
    if (logFile == nullptr) return;
    const char* tag = direction == kLineToDevice ? "H>D" : "D>H";
    long long at = Micros();
    // A chunk longer than a line holds goes on in lines of the same time.
    for (uint32_t done = 0; done < count;) {
        char line[kLineSize];
        int n = std::snprintf(line, sizeof line, "%lld %s %lu", at, tag, static_cast<unsigned long>(baud));
        for (uint32_t i = 0; i < kChunkBytes && done < count; ++i, ++done)
            n += std::snprintf(line + n, sizeof line - n, " %02x", bytes[done]);
        std::snprintf(line + n, sizeof line - n, "\n");
        WriteLine(line);
    }
}

void LineLogNote(const char* format, ...) {
    if (logFile == nullptr) return;
    char text[512];
    va_list args;
    va_start(args, format);
    std::vsnprintf(text, sizeof text, format, args);
    va_end(args);
    // A name may hold any byte but the path separator: a line break or
    // another control character in it is written as \xNN, so that each
    // note stays one line.
    char line[4 * sizeof text + 32];
    int n = std::snprintf(line, sizeof line, "%lld note ", Micros());
    for (const char* c = text; *c; ++c) {
        unsigned char u = static_cast<unsigned char>(*c);
        if (u < 0x20 || u == 0x7F)
            n += std::snprintf(line + n, sizeof line - n, "\\x%02x", u);
        else
            line[n++] = *c;
    }
    line[n++] = '\n';
    line[n] = '\0';
    WriteLine(line);
}
