#include "tools/devsim/transcript.h"

#include <time.h>

#include <cstdarg>

int64_t MonotonicNs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

namespace {

long long Micros(const Transcript* t, int64_t atNs) { return static_cast<long long>((atNs - t->startNs) / 1000); }

void WriteBytesLine(Transcript* t, int64_t atNs, const char* tag, uint32_t baud, const uint8_t* bytes, size_t count) {
    std::fprintf(t->file, "%lld %s %u", Micros(t, atNs), tag, baud);
    for (size_t i = 0; i < count; ++i) std::fprintf(t->file, " %02x", bytes[i]);
    std::fputc('\n', t->file);
    std::fflush(t->file);
}

}  // namespace

bool TranscriptOpen(Transcript* t, const char* path) {
    t->startNs = MonotonicNs();
    if (!path) return true;
    t->file = std::fopen(path, "w");
    return t->file != nullptr;
}

void TranscriptClose(Transcript* t) {
    TranscriptFlush(t);
    if (t->file) std::fclose(t->file);
    t->file = nullptr;
}

void TranscriptFlush(Transcript* t) {
    if (t->file && t->pendingTag && !t->pendingBytes.empty()) {
        WriteBytesLine(t, t->pendingNs, t->pendingTag, t->pendingBaud, t->pendingBytes.data(), t->pendingBytes.size());
    }
    t->pendingTag = nullptr;
    t->pendingBytes.clear();
}

void TranscriptReceived(Transcript* t, int64_t atNs, const char* tag, uint32_t baud, uint8_t byte) {
    if (!t->file) return;
    if (t->pendingTag != tag || t->pendingBaud != baud) {
        TranscriptFlush(t);
        t->pendingTag = tag;
        t->pendingBaud = baud;
        t->pendingNs = atNs;
    }
    t->pendingBytes.push_back(byte);
}

void TranscriptSent(Transcript* t, int64_t atNs, uint32_t baud, const uint8_t* bytes, size_t count) {
    if (!t->file || count == 0) return;
    TranscriptFlush(t);
    WriteBytesLine(t, atNs, "D>H", baud, bytes, count);
}

void TranscriptNote(Transcript* t, const char* format, ...) {
    if (!t->file) return;
    TranscriptFlush(t);
    std::fprintf(t->file, "%lld note ", Micros(t, MonotonicNs()));
    va_list args;
    va_start(args, format);
    std::vfprintf(t->file, format, args);
    va_end(args);
    std::fputc('\n', t->file);
    std::fflush(t->file);
}
