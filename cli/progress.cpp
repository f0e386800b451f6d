#include "cli/progress.h"

#include <chrono>
#include <cstring>

#include "cli/console.h"
#include "cli/output.h"

namespace {

// A rate measured over less than this is not yet a rate.
const double kRateAfterSeconds = 0.5;

std::string Rate(const Progress& p, double elapsed) {
    if (elapsed < kRateAfterSeconds || p.done == 0) return "";
    double rate = static_cast<double>(p.done) * p.unitBytes / elapsed;
    char text[32];
    if (rate >= 1024)
        std::snprintf(text, sizeof text, "%.1f KiB/s", rate / 1024);
    else
        std::snprintf(text, sizeof text, "%.0f B/s", rate);
    return text;
}

int Percent(const Progress& p) {
    if (p.total <= 0) return 100;
    int32_t done = p.done < p.total ? p.done : p.total;
    return static_cast<int>(static_cast<int64_t>(done) * 100 / p.total);
}

// Percent, units and rate: what both kinds of display show.
std::string Figures(const Progress& p, double elapsed) {
    char text[128];
    std::snprintf(text, sizeof text, "%3d%%  %d/%d %s", Percent(p), static_cast<int>(p.done),
                  static_cast<int>(p.total), p.unit);
    std::string out = text;
    std::string rate = Rate(p, elapsed);
    if (!rate.empty()) out += "  " + rate;
    return out;
}

void Draw(Progress* p, bool last) {
    double elapsed = CliClock() - p->started;
    std::string tail = Figures(*p, elapsed) + "  " + FormatDuration(elapsed) + " elapsed";
    if (!last && p->done < p->total) tail += ", " + FormatDuration(ProgressSecondsLeft(p)) + " left";
    int columns = ConsoleColumns(p->stream) - 1;
    int width = columns - static_cast<int>(tail.size()) - 3;
    if (width > 40) width = 40;
    std::string line;
    if (width >= 10) {
        int filled = p->total > 0 ? static_cast<int>(static_cast<int64_t>(width) * Percent(*p) / 100) : width;
        line.append("[").append(filled, '#').append(width - filled, '.').append("] ");
    }
    line += tail;
    if (static_cast<int>(line.size()) > columns) line.resize(columns > 0 ? columns : 0);
    // Blanks over what the last line had beyond this one; the cursor stays
    // close after the text, where the terminal echoes a Ctrl-C.
    int length = static_cast<int>(line.size());
    if (length < p->drawn) line.append(p->drawn - length, ' ');
    p->drawn = length;
    std::fprintf(p->stream, "\r%s", line.c_str());
    std::fflush(p->stream);
    OutputLineOpen(p->stream, 1);
}

void PlainLine(Progress* p) {
    double elapsed = CliClock() - p->started;
    std::fprintf(p->stream, "%s  %s elapsed\n", Figures(*p, elapsed).c_str(), FormatDuration(elapsed).c_str());
    std::fflush(p->stream);
}

}  // namespace

double CliClock() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::string FormatDuration(double seconds) {
    long s = seconds > 0 ? static_cast<long>(seconds + 0.5) : 0;
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

std::string DescribeDuration(double seconds) {
    long s = seconds > 0 ? static_cast<long>(seconds + 0.5) : 0;
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld h %ld min", s / 3600, s / 60 % 60);
    else if (s >= 60)
        std::snprintf(text, sizeof text, "%ld min %ld s", s / 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld s", s < 1 ? 1 : s);
    return text;
}

void ProgressBegin(Progress* p, const char* unit, int32_t total, int32_t unitBytes, double secondsPerUnit) {
    p->unit = unit;
    p->total = total;
    p->unitBytes = unitBytes;
    p->secondsPerUnit = secondsPerUnit;
    p->started = CliClock();
    p->stream = OutputQuiet() ? nullptr : RunStream();
    p->terminal = p->stream != nullptr && ConsoleIsTerminal(p->stream);
    p->lastTenth = 0;
    p->drawn = 0;
    p->done = 0;
    if (p->terminal) Draw(p, false);
}

void ProgressShow(Progress* p, int32_t done) {
    p->done = done;
    if (p->stream == nullptr) return;
    if (p->terminal) {
        Draw(p, false);
        return;
    }
    int tenth = Percent(*p) / 10;
    if (tenth > p->lastTenth && tenth < 10) {
        p->lastTenth = tenth;
        PlainLine(p);
    }
}

void ProgressEnd(Progress* p, int32_t done) {
    p->done = done;
    if (p->stream == nullptr) return;
    if (p->terminal) {
        Draw(p, true);
        std::fputc('\n', p->stream);
        std::fflush(p->stream);
        OutputLineOpen(p->stream, 0);
        return;
    }
    PlainLine(p);
}

double ProgressSecondsLeft(const Progress* p) {
    int32_t left = p->total - p->done;
    if (left <= 0) return 0;
    double elapsed = CliClock() - p->started;
    if (p->done > 0 && elapsed >= kRateAfterSeconds) return elapsed / p->done * left;
    return p->secondsPerUnit * left;
}
