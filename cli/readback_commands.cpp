// ridorez verify and ridorez backup: the program memory read back with the
// loader's read command, for a target that has one (row.readBack: the T62).
// Neither changes the device.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/port_select.h"
#include "cli/probe_step.h"
#include "cli/release_step.h"
#include "cli/worker_run.h"
#include "core/app_state.h"
#include "image/hex_writer.h"

namespace {

// The end of a read-back that did not come to its end.
int ReadBackEnded(int32_t status, const CliOptions& options, CliReport* report) {
    report->result = status > 0 ? status : 0;
    if (status == -1) {
        report->message = "interrupted";
        return kExitInterrupted;
    }
    char text[96];
    if (status == 0)
        std::snprintf(text, sizeof text, "Error: Cannot start the read-back !");
    else
        std::snprintf(text, sizeof text, "Error: the row at %05x did not read back !",
                      static_cast<unsigned>(AppState.currentAddress));
    report->message = text;
    Complain("%s", text);
    int code = ExitForFailedRun(options.port, kExitFailed, report);
    if (code != kExitPort && status != 0)
        Advise("Nothing on the device was changed: check the cable and run the command again.", report);
    return code;
}

}  // namespace

int RunLoadedVerify(const CliOptions& options, CliReport* report) {
    char device[600];
    CliPortDevice(options.port.c_str(), device, sizeof device);
    const TargetRow& row = *TargetNamed(options.target);
    const TargetReadBack& readBack = *row.readBack;
    int probed = ProbeStep(row, options.port, device, report);
    if (probed != kExitDone) return probed;
    int32_t units = readBack.compareUnits();
    Say("Reading back the %d %s an update of this image programs....", static_cast<int>(units), row.unit);
    WorkerRun run = {&row, readBack.compareWorker, units, readBack.secondsPerUnit, 0, ""};
    int32_t status = RunWorker(run);
    if (status != readBack.done && status != readBack.differs) return ReadBackEnded(status, options, report);

    report->result = status;
    report->compared = true;
    report->rowsDiffering = AppState.readBackRowsDiffering;
    report->firstDifference = AppState.readBackFirstDifference;
    char text[256];
    if (status == readBack.done) {
        std::snprintf(text, sizeof text, "Verify OK: the %d %s are as in the image", static_cast<int>(units), row.unit);
        report->message = text;
        SayFinal("%s", text);
        return kExitDone;
    }
    const uint8_t* d = AppState.readBackDeviceWord;
    const uint8_t* i = AppState.readBackImageWord;
    std::snprintf(text, sizeof text,
                  "Verify: %d of %d %s differ; the first difference is at %05x (the %s holds %02x %02x %02x, "
                  "the image %02x %02x %02x)",
                  static_cast<int>(AppState.readBackRowsDiffering), static_cast<int>(units), row.unit,
                  static_cast<unsigned>(AppState.readBackFirstDifference), row.device, d[0], d[1], d[2], i[0], i[1],
                  i[2]);
    report->message = text;
    Complain("%s", text);
    return kExitDiffers;
}

int RunVerify(const CliOptions& given, CliReport* report) {
    CliOptions options = given;
    int taken = ReleaseImageStep(*TargetNamed(given.target), given.file, given.port, &options.file, report);
    if (taken != kExitDone) return taken;
    int loaded = LoadImageStep(options, report);
    if (loaded != kExitDone) return loaded;
    return RunLoadedVerify(options, report);
}

int RunBackup(const CliOptions& options, CliReport* report) {
    char device[600];
    CliPortDevice(options.port.c_str(), device, sizeof device);
    // Whether the file can be written is known before the device is read.
    std::string part = options.file + ".part";
    FILE* probe = std::fopen(part.c_str(), "w");
    if (probe == nullptr) {
        int error = errno;
        report->message = options.file + ": cannot be written: " + std::strerror(error);
        Complain("%s: %s", kCliName, report->message.c_str());
        return kExitFile;
    }
    std::fclose(probe);
    std::remove(part.c_str());

    const TargetRow& row = *TargetNamed(options.target);
    const TargetReadBack& readBack = *row.readBack;
    int probed = ProbeStep(row, options.port, device, report);
    if (probed != kExitDone) return probed;
    AttachImageStore(row);
    Say("Reading the %s's program memory, %d %s....", row.device, static_cast<int>(readBack.memoryUnits), row.unit);
    WorkerRun run = {&row, readBack.readAllWorker, readBack.memoryUnits, readBack.secondsPerUnit, 0, ""};
    int32_t status = RunWorker(run);
    if (status != readBack.done) return ReadBackEnded(status, options, report);

    report->result = status;
    report->bytes = row.storeSize;
    if (!SaveHexImage(options.file.c_str(), static_cast<const uint8_t*>(row.store()), row.storeSize)) {
        int error = errno;
        report->message = options.file + ": cannot be written: " + std::strerror(error);
        Complain("%s: %s", kCliName, report->message.c_str());
        return kExitFile;
    }
    char text[256];
    std::snprintf(text, sizeof text, "Backup written: %s, %d bytes of program memory", options.file.c_str(),
                  static_cast<int>(row.storeSize));
    report->message = text;
    SayFinal("%s", text);
    return kExitDone;
}
