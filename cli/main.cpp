// ridorez: the updater on the command line, a second front end on the core
// that the Windows program runs on.
#include <cstdio>
#include <string>

#include "cli/bench.h"
#include "cli/command_line.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/port_select.h"
#include "cli/station.h"
#include "cli/progress.h"
#include "bench/worker_events.h"
#include "core/line_log.h"
#include "core/platform.h"
#include "uploader/target_table.h"

namespace {

// The JSON object of a run that an interrupt ends at once: kept for the
// handler, which cannot build it.
std::string interruptJson;

// Whether --log names the command's FILE (the image it reads, or the file a
// backup writes), by what the file is rather than by how it is named: a log
// opened there would truncate the user's file before the command reads it.
// The message when it does, else "".
std::string LogClash(const CliOptions& options) {
    if (options.log.empty() || options.file.empty()) return "";
    if (!PlatformSameFile(options.log.c_str(), options.file.c_str())) return "";
    if (options.command == "backup")
        return "--log " + options.log + ": that is the file the backup writes; give the log another name";
    return "--log " + options.log + ": that is the image the command reads, and the log would overwrite it; "
           "give the log another name";
}

int Dispatch(const CliOptions& options, CliReport* report) {
    if (options.command == "ports") return RunPorts(options);
    if (options.command == "probe") return RunProbe(options, report);
    if (options.command == "update") return RunUpdate(options, report);
    if (options.command == "verify") return RunVerify(options, report);
    if (options.command == "release") return RunReleaseMake(options, report);
    if (options.command == "status") return RunStatus(options, report);
    return RunBackup(options, report);
}

// Refuses what must not run (a port selector that names no port, a log over
// the command's FILE, a log that cannot be written), else runs the command.
int RunChecked(const CliOptions& options, int argc, char** argv, CliReport* report) {
    std::string clash = LogClash(options);
    std::string noPort = PortSelectorRefusal(options.port);
    int code = kExitDone;
    if (!noPort.empty()) {
        report->message = noPort;
        code = kExitPort;
    } else if (!clash.empty()) {
        report->message = clash;
        code = kExitUsage;
    } else if (!options.log.empty() && !LineLogOpen(options.log.c_str())) {
        report->message = options.log + ": the log cannot be written";
        code = kExitFile;
    } else if (!(clash = LogClash(options)).empty()) {
        // A backup's FILE that did not exist yet is the log just made.
        LineLogClose();
        std::remove(options.log.c_str());
        report->message = clash;
        code = kExitUsage;
    } else {
        LineLogNote("%s %s: %s", kCliName, kCliVersion, CommandLineText(argc, argv).c_str());
        return options.benchWorker ? RunBenchWorker(options, report) : Dispatch(options, report);
    }
    Complain("%s: %s", kCliName, report->message.c_str());
    return code;
}

// The report of a run that an interrupt ends at once, for the handler.
void SetInterruptReport(const CliOptions& options, const CliReport& report) {
    interruptJson.clear();
    if (options.json) {
        CliReport interrupted = report;
        interrupted.message = "interrupted";
        interrupted.exit = kExitInterrupted;
        // Printed by the handler, which has no clock: the time is left open.
        interruptJson = JsonReport(interrupted, -1) + "\n";
    }
    ConsoleSetInterruptText(ConsoleInterruptedText(), interruptJson.c_str());
}

// The code of a run that was asked to stop while it ran. A bench's worker
// reports its run's own code: a request to stop that reached it too (a
// service manager stopping the whole group) is the bench's to count, once.
int CountStopRequest(const CliOptions& options, int code, CliReport* report) {
    const char* stop = options.benchWorker ? nullptr : ConsoleStopRequest();
    if (stop == nullptr || code == kExitInterrupted) return code;
    code += kExitStopRequested;
    Complain("%s: stopped by %s after the update ended: exit code %d", kCliName, stop, code);
    report->stoppedBy = stop;
    return code;
}

}  // namespace

int main(int argc, char** argv) {
    CliOptions options;
    int parsed = ParseCommandLine(argc, argv, &options);
    if (parsed >= 0) return parsed;
    if (options.command == "station") return RunStation(options);
    if (BenchWanted(options)) return RunBench(options);
    double started = CliClock();
    // A bench's worker says nothing but its events (worker_events.h), and
    // ends with its result event whatever ends it (a --port or a --log
    // refused before the run says why as a run's failure does).
    OutputSetup(options.quiet || options.benchWorker, options.json || options.benchWorker);
    WorkerEventsOn(options.benchWorker ? 1 : 0);

    CliReport report;
    report.target = options.target;
    report.port = options.port;
    report.file = options.file;
    SetInterruptReport(options, report);
    ConsoleSetUp();

    int code = CountStopRequest(options, RunChecked(options, argc, argv, &report), &report);
    report.exit = code;
    if (options.benchWorker) {
        WorkerEventResult(report.result, report.exit, report.bytes, report.message, report.advice);
    } else if (options.json && options.command != "ports") {  // ports prints its own
        std::printf("%s\n", JsonReport(report, CliClock() - started).c_str());
        std::fflush(stdout);
    }
    LineLogNote("exit code %d%s%s", code, report.message.empty() ? "" : ": ", report.message.c_str());
    // A worker abandoned by Ctrl-C may still run: end without waiting.
    if (code == kExitInterrupted) ConsoleExitNow(code);
    ConsoleReported(code);
    // Whichever channel a command left open (a probe that found nothing
    // leaves its port open, as in the main window) goes back to the system
    // the proper way.
    TargetsClosePort();
    LineLogClose();
    return code;
}
