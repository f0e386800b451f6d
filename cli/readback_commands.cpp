// ridorez verify t62 and ridorez backup t62: the T62's program memory read
// back with its loader's read command. Neither changes the device.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "cli/port_select.h"
#include "cli/probe_step.h"
#include "cli/worker_run.h"
#include "core/app_state.h"
#include "image/hex_image.h"
#include "image/hex_writer.h"
#include "serial/line_time.h"
#include "serial/serial_port.h"
#include "t62/t62_probe.h"
#include "t62/t62_protocol.h"
#include "t62/t62_readback.h"
#include "t62/t62_worker.h"

namespace {

// A row read back: its frame, at the speed the probe opened the line at.
const double kReadRowSeconds = LineSeconds(kT62RowFrameBytes, kT62ProbeBaud);

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
    return ExitForFailedRun(options.port, kExitFailed, report);
}

}  // namespace

int LoadForVerify(const CliOptions& options, CliReport* report) {
    AppState.hexImage = HexImageStore();
    AppState.hexImageLength = LoadHexImage(options.file.c_str(), T62Image);
    int error = errno;
    if (AppState.hexImageLength <= 0) return LoadFailed(AppState.hexImageLength, options.file, "no data", error, report);
    report->bytes = AppState.hexImageLength;
    Say(kT62LoadedFormat, static_cast<int>(AppState.hexImageLength));
    return T62ImageFitStep(report);
}

int RunLoadedVerify(const CliOptions& options, CliReport* report) {
    char device[600];
    CliPortDevice(options.port.c_str(), device, sizeof device);
    int probed = ProbeStep("t62", options.port, device, report);
    if (probed != kExitDone) return probed;
    int32_t rows = T62CompareRows(AppState.hexImageLength);
    Say("Reading back the %d rows an update of this image programs....", static_cast<int>(rows));
    WorkerRun run = {T62CompareWorker, "rows", rows, kT62RowBytes, 0, kReadRowSeconds, 0, "T62", ""};
    int32_t status = RunWorker(run);
    if (status != kT62ReadBackDone && status != kT62ReadBackDiffers) return ReadBackEnded(status, options, report);

    report->result = status;
    report->compared = true;
    report->rowsDiffering = AppState.readBackRowsDiffering;
    report->firstDifference = AppState.readBackFirstDifference;
    char text[256];
    if (status == kT62ReadBackDone) {
        std::snprintf(text, sizeof text, "Verify OK: the %d rows are as in the image", static_cast<int>(rows));
        report->message = text;
        SayFinal("%s", text);
        return kExitDone;
    }
    const uint8_t* d = AppState.readBackDeviceWord;
    const uint8_t* i = AppState.readBackImageWord;
    std::snprintf(text, sizeof text,
                  "Verify: %d of %d rows differ; the first difference is at %05x (the T62 holds %02x %02x %02x, "
                  "the image %02x %02x %02x)",
                  static_cast<int>(AppState.readBackRowsDiffering), static_cast<int>(rows),
                  static_cast<unsigned>(AppState.readBackFirstDifference), d[0], d[1], d[2], i[0], i[1], i[2]);
    report->message = text;
    Complain("%s", text);
    return kExitDiffers;
}

int RunVerify(const CliOptions& options, CliReport* report) {
    int loaded = LoadForVerify(options, report);
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
        Complain("ridorez: %s", report->message.c_str());
        return kExitFile;
    }
    std::fclose(probe);
    std::remove(part.c_str());

    int probed = ProbeStep("t62", options.port, device, report);
    if (probed != kExitDone) return probed;
    AppState.hexImage = HexImageStore();
    const int32_t rows = kT62MemoryEnd / kT62RowAddresses;
    Say("Reading the T62's program memory, %d rows....", static_cast<int>(rows));
    WorkerRun run = {T62ReadAllWorker, "rows", rows, kT62RowBytes, 0, kReadRowSeconds, 0, "T62", ""};
    int32_t status = RunWorker(run);
    if (status != kT62ReadBackDone) return ReadBackEnded(status, options, report);

    report->result = status;
    report->bytes = kImageBufferSize;
    if (!SaveHexImage(options.file.c_str(), AppState.hexImage, kImageBufferSize)) {
        int error = errno;
        report->message = options.file + ": cannot be written: " + std::strerror(error);
        Complain("ridorez: %s", report->message.c_str());
        return kExitFile;
    }
    char text[256];
    std::snprintf(text, sizeof text, "Backup written: %s, %d bytes of program memory", options.file.c_str(),
                  static_cast<int>(kImageBufferSize));
    report->message = text;
    SayFinal("%s", text);
    return kExitDone;
}
