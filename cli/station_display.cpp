#include "cli/station_display.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "bench/bench_process.h"
#include "cli/console.h"
#include "cli/output.h"
#include "cli/progress.h"

namespace {

struct Display {
    FILE* stream = nullptr;
    int terminal = 0;
    int drawn = 0;     // lines drawn in place so far
    int changed = 0;
    double lastDraw = 0;
    std::map<std::string, std::string> shown;  // each port's last plain line
};

Display display;

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

// The port's state in words.
std::string StateText(const StationPort& p, int withPercent) {
    const BenchBoard& b = p.run;
    switch (p.state) {
        case kStationWaiting:
            return p.presentSince < 0 ? "waiting (no port yet)" : "waiting";
        case kStationUpdating:
        case kStationVerifying: {
            std::string what = p.state == kStationUpdating ? "updating" : "verifying";
            if (withPercent) what.append(" ").append(std::to_string(b.percent)).append(" %");
            return p.state == kStationUpdating && !b.versions.empty() ? what + "  " + b.versions : what;
        }
        case kStationGoing: return p.last + "; waiting for the board to go";
        case kStationStopped: return p.last.empty() ? "stopped" : p.last + "; stopped";
    }
    return "";
}

std::string Count(const std::vector<StationPort>& ports) {
    int done = 0, failed = 0;
    for (const StationPort& p : ports) done += p.done, failed += p.failed;
    return "boards: " + std::to_string(done) + " done, " + std::to_string(failed) + " failed";
}

void Draw(const std::vector<StationPort>& ports) {
    size_t width = 0;
    for (const StationPort& p : ports) width = std::max(width, p.port.size());
    int columns = ConsoleColumns(display.stream) - 1;
    std::string text;
    if (display.drawn > 0) text += "\r\x1b[" + std::to_string(display.drawn) + "A";
    std::vector<std::string> lines;
    for (const StationPort& p : ports)
        lines.push_back(p.port + std::string(width - p.port.size(), ' ') + "  " + StateText(p, 1));
    lines.push_back(Count(ports));
    for (std::string& line : lines) {
        if (columns > 0 && static_cast<int>(line.size()) > columns) line.resize(columns);
        text += "\r" + line + "\x1b[K\n";
    }
    std::fputs(text.c_str(), display.stream);
    std::fflush(display.stream);
    display.drawn = static_cast<int>(lines.size());
    display.changed = 0;
    display.lastDraw = CliClock();
}

}  // namespace

void StationShowBegin(const std::vector<StationPort>& ports) {
    display = Display();
    display.stream = RunStream();
    display.terminal = ConsoleIsTerminal(display.stream) && BenchTerminalMoves(display.stream);
    if (display.terminal) {
        Draw(ports);
        return;
    }
    for (const StationPort& p : ports) {
        display.shown[p.port] = StateText(p, 0);
        std::fprintf(display.stream, "%s: %s\n", p.port.c_str(), display.shown[p.port].c_str());
    }
    std::fflush(display.stream);
}

void StationShowChange(StationPort* port) {
    if (display.terminal) {
        display.changed = 1;
        return;
    }
    BenchBoard& b = port->run;
    std::string text = StateText(*port, 0);
    std::string& shown = display.shown[port->port];
    if (shown != text) {
        shown = text;
        std::fprintf(display.stream, "%s: %s\n", port->port.c_str(), text.c_str());
    } else if ((port->state == kStationUpdating || port->state == kStationVerifying) &&
               b.percent / 10 > b.shownTenth && b.percent < 100) {
        // Each further tenth, as a bench shows it.
        b.shownTenth = b.percent / 10;
        std::fprintf(display.stream, "%s: %s %d %%  %s\n", port->port.c_str(),
                     port->state == kStationUpdating ? "updating" : "verifying", b.percent,
                     FormatDuration(CliClock() - b.started).c_str());
    } else {
        return;
    }
    std::fflush(display.stream);
}

void StationShowCount(const std::vector<StationPort>& ports) {
    if (display.terminal) return;
    std::fprintf(display.stream, "%s\n", Count(ports).c_str());
    std::fflush(display.stream);
}

void StationShowTick(const std::vector<StationPort>& ports) {
    if (!display.terminal) return;
    if (display.changed || CliClock() - display.lastDraw >= 1.0) Draw(ports);
}

void StationShowBreak() {
    if (display.terminal && display.drawn > 0) {
        std::fputs("\r\x1b[K", display.stream);
        std::fflush(display.stream);
    }
    display.drawn = 0;
}

void StationSummary(const std::vector<StationPort>& ports, double seconds, int exit) {
    FILE* s = RunStream();
    if (display.terminal) Draw(ports);
    display.drawn = 0;
    size_t width = 4;
    for (const StationPort& p : ports) width = std::max(width, p.port.size());
    std::string text = "\nport" + std::string(width - 4, ' ') + "   done  failed   mean  slowest\n";
    int done = 0, failed = 0;
    double total = 0, slowest = 0;
    for (const StationPort& p : ports) {
        int boards = p.done + p.failed;
        char line[160];
        std::snprintf(line, sizeof line, "%-*s  %5d  %6d  %5s  %7s\n", static_cast<int>(width), p.port.c_str(), p.done,
                      p.failed, boards ? Seconds(p.totalSeconds / boards).c_str() : "-",
                      boards ? Seconds(p.slowest).c_str() : "-");
        text += line;
        done += p.done, failed += p.failed, total += p.totalSeconds;
        slowest = std::max(slowest, p.slowest);
    }
    int boards = done + failed;
    text += std::to_string(done) + " board" + (done == 1 ? "" : "s") + " done, " + std::to_string(failed) + " failed";
    if (boards > 0) text += "; " + Seconds(total / boards) + " a board on average, the slowest " + Seconds(slowest);
    text += "; the station ran " + FormatDuration(seconds) + "; exit code " + std::to_string(exit) + "\n";
    std::fputs(text.c_str(), s);
    std::fflush(s);
}
