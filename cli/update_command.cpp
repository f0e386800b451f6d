// ridorez update: the probe, the load, the uploader's worker and its final
// message, for each target as its uploader dialog runs them.
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>
#include <string>

#include "cli/adapter_note.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "cli/port_select.h"
#include "cli/probe_step.h"
#include "cli/release_step.h"
#include "cli/worker_run.h"

namespace {

// After an image has loaded: refuses (kExitFile) an image the target cannot
// take whole, saying why; notes what of it an update leaves out. Else
// kExitDone.
int ImageFitStep(const TargetRow& row, CliReport* report) {
    std::string refusal, note;
    if (row.explainFit == nullptr) return kExitDone;
    if (!row.explainFit(&refusal, &note)) {
        char text[128];
        row.refusal(text, sizeof text);
        Complain("%s", text);
        Complain("%s: %s", kCliName, refusal.c_str());
        report->message = text;
        return kExitFile;
    }
    if (!note.empty()) Say("%s", note.c_str());
    return kExitDone;
}

// A file that is no image for the command, said as a load that failed.
int FileRefused(const std::string& why, CliReport* report) {
    Complain("File Error");
    Complain("%s: %s", kCliName, why.c_str());
    report->message = "File Error: " + why;
    return kExitFile;
}

// The command that runs the update again on this port.
std::string Again(const CliOptions& options) {
    std::string file = options.file.find(' ') == std::string::npos ? options.file : "\"" + options.file + "\"";
    return std::string(kCliName) + " update " + options.target + " " + file + " --port " + options.port;
}

// The end of a run: the final message, and the exit code for it.
int Finish(const CliOptions& options, int32_t status, const TargetRow& row, CliReport* report) {
    report->result = status;
    if (status == -1) {
        report->message = "abandoned";
        return kExitInterrupted;
    }
    if (status == 0) {
        report->message = "Error: Cannot start the update !";
        Complain("%s", report->message.c_str());
        return kExitFailed;
    }
    const char* message = row.message(status);
    report->message = message;
    if (status == row.success) {
        SayFinal("%s", message);
        return kExitDone;
    }
    Complain("%s", message);
    int code = ExitForFailedRun(options.port, kExitFailed, report);
    Advise(row.runAdvice(status), report);
    Advise("The command again: `" + Again(options) + "`", report);
    return code;
}

// A target that probes within its update's own checks: its channel, then
// the checks, which say what the probe found. kExitDone when the worker may
// start.
int PrepareStep(const TargetRow& row, const CliOptions& options, const char* device, CliReport* report) {
    int opened = OpenStep(row, options.port, device, report);
    if (opened != kExitDone) return opened;
    *row.loaded = 1;
    TargetPrepared prepared;
    row.prepare(row, &prepared);
    if (prepared.probed) {
        int probed = ReportProbe(row, prepared.probe, options.port, report);
        if (probed != kExitDone) return probed;
    }
    if (prepared.outcome != kTargetReady) {
        Complain("%s", prepared.text);
        report->message = prepared.text;
        return prepared.wrongImage ? kExitFile : kExitNoDevice;
    }
    Say("%s", prepared.text);
    return kExitDone;
}

}  // namespace

int LoadImageStep(const CliOptions& options, CliReport* report) {
    const TargetRow& row = *TargetNamed(options.target);
    std::error_code folder;
    if (std::filesystem::is_directory(options.file, folder))
        return FileRefused(options.file + ": a folder, not an image file: name the image file itself", report);
    AttachImageStore(row);
    int32_t loaded = row.load(options.file.c_str());
    int error = errno;
    if (loaded <= 0) return LoadFailed(loaded, options.file, row.emptyMeaning, error, report);
    report->bytes = row.runBytes();
    std::string foreign = row.notItsImage != nullptr ? row.notItsImage() : "";
    if (!foreign.empty()) return FileRefused(options.file + ": " + foreign, report);
    char line[128];
    row.loadedLine(line, sizeof line);
    Say("%s", line);
    return ImageFitStep(row, report);
}

int RunLoadedUpdate(const CliOptions& options, CliReport* report) {
    const TargetRow& row = *TargetNamed(options.target);
    char device[600];
    CliPortDevice(options.port.c_str(), device, sizeof device);
    int ready = row.prepareProbes ? PrepareStep(row, options, device, report)
                                  : ProbeStep(row, options.port, device, report);
    if (ready != kExitDone) return ready;
    TellProbedLatency(row, options.port);
    if (!row.prepareProbes) Say("%s", row.runningText);
    std::string advice = row.advice(kCliName, options.file, options.port);
    WorkerRun run = {&row, row.worker, row.units(), row.secondsPerUnit, 1, advice};
    int32_t status = RunWorker(run);
    return Finish(options, status, row, report);
}

int RunUpdate(const CliOptions& given, CliReport* report) {
    if (given.target == "all") return RunUpdateAll(given, report);
    CliOptions options = given;
    int taken = ReleaseImageStep(*TargetNamed(given.target), given.file, given.port, &options.file, report);
    if (taken != kExitDone) return taken;
    int loaded = LoadImageStep(options, report);
    if (loaded != kExitDone) return loaded;
    TellAdapterLatency(*TargetNamed(options.target), options.port);
    return RunLoadedUpdate(options, report);
}
