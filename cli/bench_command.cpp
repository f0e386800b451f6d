// The bench's parent: the image loaded once, a worker process per port, all
// of them followed every 100 ms, Ctrl-C for all at once, the failed ports
// run once more on request, and the summary.
#include <algorithm>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "bench/bench_image.h"
#include "cli/bench.h"
#include "cli/bench_display.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/progress.h"
#include "cli/stop_rule.h"

namespace {

// As the dialogs' timer.
const uint32_t kTickMs = 100;

// How long workers asked to abandon their runs get before they are ended.
const double kStopSeconds = 2.0;

std::vector<std::string> WorkerArgs(const CliOptions& options, const BenchBoard& b) {
    std::vector<std::string> args = {options.command, options.target};
    if (options.command != "probe") args.push_back(options.file);
    args.insert(args.end(), {"--port", b.port, "--bench-worker"});
    if (!b.log.empty()) args.insert(args.end(), {"--log", b.log});
    return args;
}

// The board has ended: what it ended with, in words where its worker said
// nothing, on the screen.
void Ended(BenchBoard* b) {
    // A worker interrupted before it had a result ends at once, saying nothing.
    if (b->message.empty() && b->exit == kExitInterrupted)
        b->message = "interrupted";
    else if (b->message.empty() && b->exit != kExitDone)
        b->message = "the worker process ended without a result (exit " + std::to_string(b->processExit) + ")";
    BenchShowEvent(b, "end");
}

// Takes what the board's worker said; 1 while it runs.
int Follow(BenchBoard* b) {
    if (b->phase == "end") return 0;
    if (BenchBoardFollow(b, [b](const std::string& kind) {
            if (kind == "phase" || kind == "versions" || kind == "percent") BenchShowEvent(b, kind.c_str());
        }))
        return 1;
    Ended(b);
    return 0;
}

void Start(const CliOptions& options, const std::string& image, BenchBoard* b) {
    b->command = options.command;
    if (!BenchBoardStart(b, WorkerArgs(options, *b), image)) {
        BenchBoardKill(b, kExitFailed);
        Ended(b);
    }
}

// A message while the boards run: below their lines.
void Tell(const char* text) {
    BenchShowBreak();
    Complain("%s: %s", kCliName, text);
}

// The longest time a board's update still takes, from its rate so far.
std::string TimeLeft(const std::vector<BenchBoard>& boards) {
    double left = 0;
    for (const BenchBoard& b : boards) {
        if (b.phase == "end" || b.percent <= 0) continue;
        left = std::max(left, (CliClock() - b.started) * (100 - b.percent) / b.percent);
    }
    return left > 0 ? "about " + DescribeDuration(left) : "a while";
}

// The second Ctrl-C (a read-back's or a probe's first): every worker asked
// to abandon its run, and what each board is left with. A worker that has
// reported its result is only finishing: it is left to end on its own.
void Abandon(std::vector<BenchBoard>* boards) {
    double asked = CliClock();
    for (;;) {
        int running = 0;
        for (BenchBoard& b : *boards) {
            if (!Follow(&b)) continue;
            ++running;
            if (CliClock() - asked < kStopSeconds) {
                if (b.reported < 0) BenchStop(&b.process);
            } else {
                BenchBoardKill(&b, kExitInterrupted);
                Ended(&b);
            }
        }
        BenchShowTick(*boards);
        if (running == 0) break;
        ConsoleWait(kTickMs);
    }
    BenchShowEnd(*boards);
    for (BenchBoard& b : *boards) {
        if (b.exit != kExitInterrupted) continue;
        if (!b.advice.empty())
            Complain("%s: %s: update abandoned. %s", kCliName, b.port.c_str(), b.advice.c_str());
        else
            Complain("%s: %s: interrupted; nothing on it was changed.", kCliName, b.port.c_str());
    }
}

// Runs every board of boards at once until each has ended. Returns 1 when
// Ctrl-C abandoned them. A request to stop (SIGTERM, SIGHUP) lets updates
// run to their end, as with a single update; it ends a read-back or a
// probe as Ctrl-C does.
int RunRound(const CliOptions& options, const std::string& image, std::vector<BenchBoard>* boards) {
    const bool update = options.command == "update";
    for (BenchBoard& b : *boards) Start(options, image, &b);
    BenchShowBegin(options, boards);
    StopRule rule;
    rule.updating = update;
    for (;;) {
        ConsoleWait(kTickMs);
        int running = 0;
        for (BenchBoard& b : *boards) running += Follow(&b);
        BenchShowTick(*boards);
        if (running == 0) break;
        StopStep stop = StopCheck(&rule, ConsoleInterrupts(), ConsoleStopRequest());
        if (stop.tellRequest != nullptr)
            Tell((std::string(stop.tellRequest) + ": the updates run to their end first, for " + TimeLeft(*boards) +
                  "; then the program stops.")
                     .c_str());
        if (stop.abandon) {
            Abandon(boards);
            return 1;
        }
        if (stop.explainInterrupt) {
            Tell("the updates cannot be stopped safely: they would leave the boards half programmed.");
            Tell(("they still run for " + TimeLeft(*boards) +
                  ". Press Ctrl-C again to abandon them all anyway.").c_str());
        }
    }
    BenchShowEnd(*boards);
    return 0;
}

std::string Names(const std::vector<BenchBoard>& boards, int (*pick)(const BenchBoard&)) {
    std::string out;
    for (const BenchBoard& b : boards)
        if (pick(b)) out += (out.empty() ? "" : ", ") + b.port;
    return out;
}

// --retry-failed: the failed boards once more, as the same command run
// again on each, in a round of their own.
void RetryFailed(const CliOptions& options, const std::string& image, std::vector<BenchBoard>* boards) {
    std::vector<BenchBoard> again;
    for (const BenchBoard& b : *boards)
        if (BenchFailed(b)) again.push_back(b);
    if (again.empty()) return;
    Say("Running the %d failed port%s once more: %s", static_cast<int>(again.size()), again.size() == 1 ? "" : "s",
        Names(again, BenchFailed).c_str());
    for (BenchBoard& b : again) {
        b.attempt = 2;
        b.failedFirst = 1;
        if (!b.log.empty()) b.log = b.log.substr(0, b.log.size() - 4) + ".retry.log";
    }
    RunRound(options, image, &again);
    for (BenchBoard& b : again)
        for (BenchBoard& mine : *boards)
            if (mine.port == b.port) mine = b;
    std::string back = Names(again, [](const BenchBoard& b) { return b.exit == kExitDone ? 1 : 0; });
    std::string still = Names(again, BenchFailed);
    SayFinal("Came back on the second run: %s", back.empty() ? "none" : back.c_str());
    if (!still.empty()) SayFinal("Still failing: %s", still.c_str());
}

int ExitOf(const std::vector<BenchBoard>& boards) {
    int worst = kExitDone;
    for (const BenchBoard& b : boards) worst = std::max(worst, b.exit);
    return worst;
}

// A folder of its own in dir for the logs of this run, named by the time it
// started (and -2, -3 ... after a run that started in the same second): a
// second run into the same --log folder neither overwrites the logs of an
// earlier one nor leaves them beside its own. "" when made, else why not.
std::string RunLogFolder(const std::string& dir, std::string* made) {
    std::error_code error;
    std::filesystem::create_directories(dir, error);
    if (error) return dir + ": the folder for the logs cannot be made: " + error.message();
    std::time_t now = std::time(nullptr);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y-%m-%d_%H-%M-%S", std::localtime(&now));
    for (int n = 1; n < 1000; ++n) {
        std::string name = dir + "/" + stamp;
        if (n != 1) name.append("-").append(std::to_string(n));
        if (std::filesystem::create_directory(name, error)) {
            *made = name;
            return "";
        }
        if (error) return name + ": the folder for this run's logs cannot be made: " + error.message();
    }
    return dir + ": no new folder for this run's logs can be named";
}

}  // namespace

int BenchFailed(int exit, const std::string& command) {
    return exit != kExitDone && !(command == "verify" && exit == kExitDiffers);
}

int BenchFailed(const BenchBoard& b) { return BenchFailed(b.exit, b.command); }

int RunBench(const CliOptions& options) {
    double started = CliClock();
    OutputSetup(options.quiet, options.json);
    // Printed by the handler when Ctrl-C ends the load: no time, no boards.
    static std::string interruptJson;
    if (options.json)
        interruptJson = BenchSummaryJson(options, {}, kExitInterrupted, -1, "interrupted", nullptr) + "\n";
    ConsoleSetInterruptText(ConsoleInterruptedText(), interruptJson.c_str());
    ConsoleSetUp();

    std::vector<std::string> ports;
    int listed = BenchPortList(options, &ports);
    if (listed != kExitDone) return listed;
    std::string stop, runLogs;
    if (!options.log.empty()) {
        stop = RunLogFolder(options.log, &runLogs);
        if (!stop.empty())
            Complain("%s: %s", kCliName, stop.c_str());
        else
            Say("The logs of this run: %s", runLogs.c_str());
    }
    std::vector<BenchBoard> boards(ports.size());
    std::vector<std::string> taken;
    for (size_t i = 0; i < ports.size(); ++i) {
        boards[i].port = ports[i];
        if (!runLogs.empty()) boards[i].log = BenchLogName(runLogs, ports[i], &taken);
    }
    CliReport load;
    int code = stop.empty() ? kExitDone : kExitFile;
    if (code == kExitDone && options.command != "probe") code = LoadImageStep(options, &load);
    if (code != kExitDone) {
        std::error_code error;
        if (!runLogs.empty()) std::filesystem::remove(runLogs, error);  // only while empty
        BenchSummary(options, {}, code, CliClock() - started, stop.empty() ? load.message : stop, nullptr);
        return code;
    }
    std::string image = options.command == "probe" ? "" : PackLoadedImage(options.target);

    ConsoleHoldInterrupts(1);
    int interrupted = RunRound(options, image, &boards);
    if (!interrupted && options.retryFailed) {
        if (ConsoleStopRequest() == nullptr)
            RetryFailed(options, image, &boards);
        else if (!Names(boards, BenchFailed).empty())
            SayFinal("The failed ports are not run again: the program was asked to stop (%s)", ConsoleStopRequest());
    }
    // An abandoned board's code is 130: one that ended on its own before
    // the abandon keeps its own.
    code = ExitOf(boards);
    // A board interrupted before its update began (the request to stop
    // reached its worker too) leaves the bench interrupted: 130.
    const char* stopBy = code == kExitInterrupted ? nullptr : ConsoleStopRequest();
    if (stopBy != nullptr) {
        code += kExitStopRequested;
        Complain("%s: stopped by %s after the updates ended: exit code %d", kCliName, stopBy, code);
    }
    BenchSummary(options, boards, code, CliClock() - started, "", stopBy);
    return code;
}
