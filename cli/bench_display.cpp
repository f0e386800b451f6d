#include "cli/bench_display.h"

#include <algorithm>
#include <cstdio>

#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/progress.h"

namespace {

enum BenchView { kViewNone, kViewLines, kViewTerminal, kViewJson };

struct Display {
    BenchView view = kViewNone;
    FILE* stream = nullptr;
    int drawn = 0;         // lines drawn in place so far (0: none yet)
    int changed = 0;       // something to redraw
    double lastDraw = 0;
    CliOptions options;
};

Display display;

// A bar of width columns for percent.
std::string Bar(int percent, int width) {
    int filled = width * percent / 100;
    return "[" + std::string(filled, '#') + std::string(width - filled, '.') + "]";
}

std::string BoardLine(const BenchBoard& b, size_t portWidth) {
    std::string port = b.port + std::string(portWidth - std::min(portWidth, b.port.size()), ' ');
    double elapsed = (b.phase == "end" ? b.seconds : CliClock() - b.started);
    std::string time = FormatDuration(elapsed);
    if (b.phase == "end") return port + "  " + BenchResultText(b) + "  " + time + "  " + b.message;
    char percent[16];
    std::snprintf(percent, sizeof percent, "%3d%%", b.percent);
    std::string phase = b.phase == "start" ? "starting" : b.phase;
    std::string line = port + "  " + Bar(b.percent, 20) + " " + percent + "  " + phase + "  " + time;
    if (!b.versions.empty()) line += "  " + b.versions;
    return line;
}

void Draw(const std::vector<BenchBoard>& boards) {
    size_t width = 0;
    for (const BenchBoard& b : boards) width = std::max(width, b.port.size());
    int columns = ConsoleColumns(display.stream) - 1;
    std::string text;
    if (display.drawn > 0) text += "\r\x1b[" + std::to_string(display.drawn) + "A";
    for (const BenchBoard& b : boards) {
        std::string line = BoardLine(b, width);
        if (columns > 0 && static_cast<int>(line.size()) > columns) line.resize(columns);
        text += "\r" + line + "\x1b[K\n";
    }
    std::fputs(text.c_str(), display.stream);
    std::fflush(display.stream);
    display.drawn = static_cast<int>(boards.size());
    display.changed = 0;
    display.lastDraw = CliClock();
}

void JsonLine(const std::string& object) {
    std::fputs((object + "\n").c_str(), stdout);
    std::fflush(stdout);
}

// The port's result: the object a command run alone prints, with the
// bench's fields after its target.
std::string ResultObject(const BenchBoard& b) {
    CliReport report;
    report.target = display.options.target;
    report.port = b.port;
    report.file = display.options.file;
    report.bytes = b.bytes;
    report.result = b.result;
    report.message = b.message;
    report.advice = b.runAdvice;
    report.found = b.found;
    report.exit = b.exit;
    std::string object = JsonReport(report, b.seconds);
    std::string extra = ",\"phase\":\"result\",\"versions\":" + JsonString(b.versions) +
                        ",\"attempt\":" + std::to_string(b.attempt) + ",\"came_back\":" +
                        (b.failedFirst && b.exit == kExitDone ? "true" : "false");
    size_t at = object.find(",\"port\":");
    return object.substr(0, at) + extra + object.substr(at);
}

std::string PortArray(const std::vector<BenchBoard>& boards, int cameBack) {
    std::string out = "[";
    for (const BenchBoard& b : boards) {
        bool pick = cameBack ? (b.failedFirst && b.exit == kExitDone) : BenchFailed(b);
        if (!pick) continue;
        if (out.size() > 1) out += ",";
        out += JsonString(b.port);
    }
    return out + "]";
}

// The summary table, within kTableWidth columns: a line for each board (a
// long port on a line of its own above it), the message of a board that is
// not done below its line, then what to do about the failed ones.
const size_t kTableWidth = 100, kPortWidth = 40, kResultWidth = 22, kSecondsWidth = 7;

std::string Cell(std::string text, size_t width) {
    if (text.size() > width) text.resize(width);
    return text + std::string(width - text.size(), ' ');
}

// text in lines of at most kTableWidth columns, each indented by two.
std::string Wrapped(const std::string& text) {
    std::string out, line = " ";
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find(' ', at);
        if (end == std::string::npos) end = text.size();
        std::string word = text.substr(at, end - at);
        if (line.size() > 2 && line.size() + 1 + word.size() > kTableWidth) {
            out += line + "\n";
            line.resize(1);  // the indent
        }
        line += " " + word;
        at = end + 1;
    }
    return out + line + "\n";
}

// What a board's advice says beyond the command for its own port.
std::string GeneralAdvice(const std::string& advice) {
    size_t command = advice.find(" The command again:");
    return command == std::string::npos ? advice : advice.substr(0, command);
}

// The command that runs the failed boards again.
std::string FailedAgain(const std::vector<BenchBoard>& boards) {
    const CliOptions& o = display.options;
    std::string command = std::string(kCliName) + " " + o.command + " " + o.target;
    if (!o.file.empty()) command += " " + (o.file.find(' ') == std::string::npos ? o.file : "\"" + o.file + "\"");
    for (const BenchBoard& b : boards)
        if (BenchFailed(b)) command += " --port " + b.port;
    return command;
}

void Table(FILE* s, const std::vector<BenchBoard>& boards, int done, int exit, double seconds) {
    size_t portWidth = 4;
    for (const BenchBoard& b : boards) portWidth = std::max(portWidth, std::min(kPortWidth, b.port.size()));
    size_t foundWidth = kTableWidth - portWidth - kResultWidth - kSecondsWidth - 6;
    std::string table = Cell("port", portWidth) + "  " + Cell("result", kResultWidth) + "  " +
                        Cell("seconds", kSecondsWidth) + "  found\n";
    std::vector<std::string> advice;
    for (const BenchBoard& b : boards) {
        char time[32];
        std::snprintf(time, sizeof time, "%*.1f", static_cast<int>(kSecondsWidth), b.seconds);
        std::string port = b.port;
        if (port.size() > portWidth) {
            table += port + "\n";
            port.clear();
        }
        std::string line = Cell(port, portWidth) + "  " + Cell(BenchResultText(b), kResultWidth) + "  " + time +
                           "  " + (b.foundShort.empty() ? "-" : b.foundShort.substr(0, foundWidth));
        table += line + "\n";
        if (b.exit != kExitDone && !b.message.empty()) table += Wrapped(b.message);
        std::string general = GeneralAdvice(b.runAdvice);
        if (BenchFailed(b) && !general.empty() && std::find(advice.begin(), advice.end(), general) == advice.end())
            advice.push_back(general);
    }
    char tail[128];
    std::snprintf(tail, sizeof tail, "%d of %d boards done in %s; exit code %d\n", done,
                  static_cast<int>(boards.size()), FormatDuration(seconds).c_str(), exit);
    table += tail;
    for (const std::string& a : advice) table += Wrapped(a);
    // The command on a line of its own, whole, to be copied.
    if (!advice.empty()) table += "  The failed boards again:\n  " + FailedAgain(boards) + "\n";
    std::fputs(("\n" + table).c_str(), s);
    std::fflush(s);
}

}  // namespace

void BenchShowBegin(const CliOptions& options, std::vector<BenchBoard>* boards) {
    display = Display();
    display.options = options;
    if (options.json) {
        display.view = kViewJson;
    } else if (!OutputQuiet()) {
        display.stream = RunStream();
        display.view = ConsoleIsTerminal(display.stream) && BenchTerminalMoves(display.stream) ? kViewTerminal
                                                                                            : kViewLines;
    }
    if (display.view == kViewTerminal) Draw(*boards);
}

void BenchShowEvent(BenchBoard* board, const char* kind) {
    const BenchBoard& b = *board;
    std::string what = kind;
    switch (display.view) {
        case kViewNone: return;
        case kViewTerminal: display.changed = 1; return;
        case kViewJson:
            if (what == "end") {
                JsonLine(ResultObject(b));
            } else if (what == "versions") {
                JsonLine("{\"port\":" + JsonString(b.port) + ",\"phase\":" + JsonString(b.phase) +
                         ",\"versions\":" + JsonString(b.versions) + "}");
            } else {
                JsonLine("{\"port\":" + JsonString(b.port) + ",\"phase\":" + JsonString(b.phase) +
                         ",\"percent\":" + std::to_string(b.percent) + "}");
            }
            return;
        case kViewLines: break;
    }
    FILE* s = display.stream;
    if (what == "versions") {
        std::fprintf(s, "%s: %s\n", b.port.c_str(), b.versions.c_str());
    } else if (what == "percent") {
        // Each further tenth; the end has a line of its own.
        if (b.percent / 10 <= b.shownTenth || b.percent >= 100) return;
        board->shownTenth = b.percent / 10;
        std::fprintf(s, "%s: %3d%%  %s elapsed\n", b.port.c_str(), b.percent,
                     FormatDuration(CliClock() - b.started).c_str());
    } else if (what == "end") {
        std::fprintf(s, "%s: %s%s%s\n", b.port.c_str(), BenchResultText(b).c_str(), b.message.empty() ? "" : ": ",
                     b.message.c_str());
    } else {
        return;
    }
    std::fflush(s);
}

void BenchShowTick(const std::vector<BenchBoard>& boards) {
    if (display.view != kViewTerminal) return;
    if (display.changed || CliClock() - display.lastDraw >= 1.0) Draw(boards);
}

void BenchShowBreak() {
    // The cursor is below the boards' lines, where the terminal echoed ^C.
    if (display.view == kViewTerminal && display.drawn > 0) {
        std::fputs("\r\x1b[K", display.stream);
        std::fflush(display.stream);
    }
    display.drawn = 0;
}

void BenchShowEnd(const std::vector<BenchBoard>& boards) {
    if (display.view == kViewTerminal) Draw(boards);
    display.drawn = 0;
}

std::string BenchResultText(const BenchBoard& b) {
    std::string word;
    switch (b.exit) {
        case kExitDone: return b.failedFirst ? "done on the retry" : "done";
        case kExitFile: word = "file error"; break;
        case kExitPort: word = "port error"; break;
        case kExitNoDevice: word = "no device"; break;
        case kExitFailed: word = "failed"; break;
        case kExitDiffers: word = "differs"; break;
        case kExitInterrupted: word = b.advice.empty() ? "interrupted" : "abandoned"; break;
        default: word = "ended"; break;
    }
    return word + " (exit " + std::to_string(b.exit) + ")";
}

std::string BenchSummaryJson(const CliOptions& options, const std::vector<BenchBoard>& boards, int exit,
                             double seconds, const std::string& message, const char* stoppedBy) {
    int done = 0, failed = 0, differ = 0;
    for (const BenchBoard& b : boards) {
        done += b.exit == kExitDone;
        failed += BenchFailed(b);
        differ += b.exit == kExitDiffers;
    }
    char numbers[128];
    std::snprintf(numbers, sizeof numbers, ",\"ports\":%d,\"done\":%d,\"failed\":%d,\"differ\":%d",
                  static_cast<int>(boards.size()), done, failed, differ);
    std::string object = "{\"summary\":true,\"command\":" + JsonString(options.command) +
                         ",\"target\":" + JsonString(options.target) + ",\"file\":" +
                         (options.file.empty() ? "null" : JsonString(options.file)) + numbers +
                         ",\"failed_ports\":" + PortArray(boards, 0) + ",\"came_back\":" + PortArray(boards, 1) +
                         ",\"message\":" + JsonString(message);
    if (stoppedBy != nullptr) object += ",\"stopped_by\":" + JsonString(stoppedBy);
    if (seconds < 0)
        std::snprintf(numbers, sizeof numbers, ",\"seconds\":null,\"exit\":%d}", exit);
    else
        std::snprintf(numbers, sizeof numbers, ",\"seconds\":%.3f,\"exit\":%d}", seconds, exit);
    return object + numbers;
}

void BenchSummary(const CliOptions& options, const std::vector<BenchBoard>& boards, int exit, double seconds,
                  const std::string& message, const char* stoppedBy) {
    int done = 0;
    for (const BenchBoard& b : boards) done += b.exit == kExitDone;
    if (!boards.empty()) Table(RunStream(), boards, done, exit, seconds);
    if (options.json) JsonLine(BenchSummaryJson(options, boards, exit, seconds, message, stoppedBy));
}
