// ridorez update: the probe, the load, the uploader's worker and its final
// message, for each target as its uploader dialog runs them.
#include <cerrno>
#include <cstdio>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "cli/port_select.h"
#include "cli/probe_step.h"
#include "cli/worker_run.h"
#include "core/app_state.h"
#include "image/hex_image.h"
#include "image/keyer_image.h"
#include "psoc/psoc_probe.h"
#include "psoc/psoc_protocol.h"
#include "psoc/psoc_worker.h"
#include "serial/line_time.h"
#include "serial/serial_port.h"
#include "t62/t62_probe.h"
#include "t62/t62_protocol.h"
#include "t62/t62_readback.h"
#include "t62/t62_worker.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_update_step.h"
#include "zq3/keyer_upload.h"

namespace {

// A unit's time on the line, for the time left before a rate is measured:
// a T62 row written and read back (a row frame each way), a PSoC block and
// its echo, at the speeds the probes opened the line at; a keyer record and
// its reply at 9600.
const double kT62RowSeconds = LineSeconds(2 * kT62RowFrameBytes, kT62ProbeBaud);
const double kPsocBlockSeconds = LineSeconds(kPsocRequestBytes + kPsocEchoBytes, kPsocProbeBaud);
const double kKeyerRecordSeconds = LineSeconds(kKeyerFrameBytes + kKeyerReplyBytes, kKeyerRecordBaud);

std::string Advice(const CliOptions& options, const char* device, const char* loader) {
    return "The " + std::string(device) + " is not fully programmed, but its " + loader +
           " still answers: run `" + kCliName + " update " + options.target + " " + options.file + " --port " +
           options.port + "` again.";
}

// The end of a run: the final message, and the exit code for it.
int Finish(const CliOptions& options, int32_t status, int32_t success, const char* message, CliReport* report) {
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
    report->message = message;
    if (status == success) {
        SayFinal("%s", message);
        return kExitDone;
    }
    Complain("%s", message);
    return ExitForFailedRun(options.port, kExitFailed, report);
}

int LoadHex(const CliOptions& options, CliReport* report) {
    const bool t62 = options.target == "t62";
    AppState.hexImage = HexImageStore();
    AppState.hexImageLength = LoadHexImage(options.file.c_str(), t62 ? T62Image : PSoCImage);
    int error = errno;
    if (AppState.hexImageLength <= 0) {
        char psocEmpty[64];
        std::snprintf(psocEmpty, sizeof psocEmpty, "no data below 0x%X, where the PSoC's image ends", kPsocImageEnd);
        return LoadFailed(AppState.hexImageLength, options.file, t62 ? "no data" : psocEmpty, error, report);
    }
    report->bytes = AppState.hexImageLength;
    Say(t62 ? kT62LoadedFormat : kPsocLoadedFormat, static_cast<int>(AppState.hexImageLength));
    return t62 ? T62ImageFitStep(report) : kExitDone;
}

int UpdateHex(const CliOptions& options, const char* device, CliReport* report) {
    const bool t62 = options.target == "t62";
    int probed = ProbeStep(options.target, options.port, device, report);
    if (probed != kExitDone) return probed;

    WorkerRun run;
    if (t62) {
        Say("%s", kT62RunningText);
        run = {T62UploadWorker, "rows", T62ApplicationRows(AppState.hexImageLength), kT62RowBytes, 0,
               kT62RowSeconds, 1, "T62", Advice(options, "T62", "firmware loader")};
    } else {
        Say("%s", kPsocRunningText);
        run = {PsocProgramWorker, "blocks", kPsocImageEnd / kPsocBlockBytes, kPsocBlockBytes, 0,
               kPsocBlockSeconds, 1, "PSoC", Advice(options, "PSoC", "boot loader")};
    }
    int32_t status = RunWorker(run);
    return t62 ? Finish(options, status, kT62Success, T62StatusMessage(status), report)
               : Finish(options, status, kPsocSuccess, PsocOutcomeMessage(status), report);
}

int LoadZq3(const CliOptions& options, CliReport* report) {
    AppState.keyerImage = KeyerImageStore();
    AppState.keyerRecordCount = LoadKeyerImage(options.file.c_str());
    int error = errno;
    if (AppState.keyerRecordCount < 1)
        return LoadFailed(AppState.keyerRecordCount, options.file, "no records", error, report);
    ReadKeyerImageVersion(AppState.keyerImage, &AppState.keyerImageVersion, &AppState.keyerImageVariant);
    char line[128];
    FormatKeyerLoadLine(line, sizeof line, AppState.keyerImageVersion, AppState.keyerImageVariant,
                        AppState.keyerRecordCount);
    Say("%s", line);
    report->bytes = 16LL * KeyerUploadFrames(AppState.keyerImage);
    return kExitDone;
}

int UpdateZq3(const CliOptions& options, const char* device, CliReport* report) {
    int32_t frames = KeyerUploadFrames(AppState.keyerImage);
    int opened = OpenZq3Channel(options.port, device, report);
    if (opened != kExitDone) return opened;
    AppState.keyerImageLoaded = 1;
    KeyerUpdateStep step;
    KeyerPrepareUpdate(&step);
    int probed = ReportZq3Probe(step.probeResult, step.probe, options.port, report);
    if (probed != kExitDone) return probed;
    if (step.outcome != kKeyerUpdateReady) {
        Complain("%s", step.text);
        report->message = step.text;
        // An IC of no known type is not the device the image is for; an
        // image for another variant is not the file for this IC.
        bool knownIc = AppState.keyerIcType >= kIcAmber && AppState.keyerIcType <= kIcNoOs;
        return knownIc ? kExitFile : kExitNoDevice;
    }
    Say("%s", step.text);
    std::string name = kCliName;
    std::string advice = "The ZQ3 IC may be left in its loader without its operating firmware, at " +
                         std::to_string(kKeyerBaud) + " or " + std::to_string(kKeyerRecordBaud) + " baud: `" +
                         name + " update zq3 " + options.file + " --port " + options.port +
                         "` finds it there and runs in recovery mode (`" + name + " probe zq3 --port " +
                         options.port + "` shows \"ZQ3 Fail:No O/S\").";
    WorkerRun run = {KeyerUploadWorker, "records", frames, 16, 1, kKeyerRecordSeconds, 1, "ZQ3 IC", advice};
    int32_t status = RunWorker(run);
    int code = Finish(options, status, kKeyerSuccess, KeyerStatusMessage(status), report);
    if (status > 0 && status != kKeyerSuccess) Complain("ridorez: %s", advice.c_str());
    return code;
}

}  // namespace

int LoadForUpdate(const CliOptions& options, CliReport* report) {
    return options.target == "zq3" ? LoadZq3(options, report) : LoadHex(options, report);
}

int RunLoadedUpdate(const CliOptions& options, CliReport* report) {
    char device[600];
    CliPortDevice(options.port.c_str(), device, sizeof device);
    if (options.target == "zq3") return UpdateZq3(options, device, report);
    return UpdateHex(options, device, report);
}

int RunUpdate(const CliOptions& options, CliReport* report) {
    int loaded = LoadForUpdate(options, report);
    if (loaded != kExitDone) return loaded;
    return RunLoadedUpdate(options, report);
}
