#include "uploader/target_table.h"

#include <cstdio>
#include <cstring>

#include "core/app_state.h"
#include "image/hex_image.h"
#include "image/keyer_image.h"
#include "psoc/psoc_probe.h"
#include "release/release.h"
#include "psoc/psoc_protocol.h"
#include "psoc/psoc_worker.h"
#include "res/resource.h"
#include "serial/frame.h"
#include "serial/line_time.h"
#include "serial/port_reopen.h"
#include "serial/serial_port.h"
#include "serial/serial_texts.h"
#include "t62/t62_image_fit.h"
#include "t62/t62_probe.h"
#include "t62/t62_protocol.h"
#include "t62/t62_readback.h"
#include "t62/t62_worker.h"
#include "uploader/run_plans.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_commands.h"
#include "zq3/keyer_probe.h"
#include "zq3/keyer_update_step.h"
#include "zq3/keyer_upload.h"

namespace {

std::string Baud(uint32_t baud) { return std::to_string(baud) + " baud"; }

void Copy(char* to, size_t size, const char* from) { std::snprintf(to, size, "%s", from); }

// ---- What the T62 and the PSoC share: a HEX image and the synchronous channel.

const char* SyncOpenFailure(int code, char* text, size_t size) { return SerialOpenFailureText(code, text, size); }

void AttachHex(void* store) { AppState.hexImage = static_cast<uint8_t*>(store); }
void* HexStore() { return AppState.hexImage; }
int32_t HexBarRange() { return AppState.hexImageLength / 256; }
int32_t HexBarPosition() { return AppState.progressBytes / 256; }
int64_t HexRunBytes() { return AppState.hexImageLength; }
void HexLoadFacts(int32_t facts[3]) { facts[0] = AppState.hexImageLength, facts[1] = facts[2] = 0; }
void SetHexLoadFacts(const int32_t facts[3]) { AppState.hexImageLength = facts[0]; }

// Update's checks of a HEX uploader: an image is loaded and not empty, the
// target takes it whole, and a port that a run found gone opens again.
void HexPrepare(const TargetRow& row, TargetPrepared* out) {
    *out = TargetPrepared();
    out->outcome = kTargetRefused;
    if (!*row.loaded) {
        out->text = "Error: Please Open a Programming File !";
        return;
    }
    if (AppState.hexImageLength <= 0) {
        out->text = "Error: Zero Length File !";
        return;
    }
    if (row.refusal != nullptr) {
        out->text = row.refusal(AppState.statusText, sizeof AppState.statusText);
        if (out->text != nullptr) return;
    }
    if (!SerialReopenIfLost(row.openPort, AppState.statusText, sizeof AppState.statusText)) {
        out->text = AppState.statusText;
        return;
    }
    out->outcome = kTargetReady;
    out->text = row.runningText;
}

std::string HexAdvice(const TargetRow& row, const char* loader, const std::string& program, const std::string& file,
                      const std::string& port) {
    return "The " + std::string(row.device) + " is not fully programmed, but its " + loader + " still answers: run `" +
           program + " update " + row.key + " " + file + " --port " + port + "` again.";
}

// ---- The T62: its firmware loader at 115200 baud.

int T62OpenDevice(const char* device) { return SerialOpenDevice(device, kT62ProbeBaud, kT62ProbeReadTimeoutMs); }

void T62Identify(TargetProbeLines* lines) {
    *lines = TargetProbeLines();
    T62ProbeResult result;
    T62ProbeIdentify(&result);
    FormatT62ProbeLines(&result, lines->portLine, sizeof lines->portLine, lines->hwLine, sizeof lines->hwLine);
    lines->connected = result.outcome == kT62ProbeConnected;
    lines->firmware = -1;
    if (!lines->connected) {
        lines->hwLine[0] = '\0';
        lines->replyCode = result.replyCount;
        return;
    }
    std::snprintf(lines->loaderVersion, sizeof lines->loaderVersion, "%u.%u", result.loaderMajor, result.loaderMinor);
    std::snprintf(lines->hwRevision, sizeof lines->hwRevision, "%c", static_cast<char>(result.hwRevision + 0x40));
    std::snprintf(lines->fit, sizeof lines->fit, "%c", static_cast<char>(result.hwRevision + 0x40));
}

std::string T62NoAnswer(const TargetProbeLines& lines) {
    std::string at = " at " + Baud(kT62ProbeBaud);
    switch (lines.replyCode) {
        case kFrameTimeout: return "no T62 firmware loader answered" + at + " (nothing came for 1.5 s)";
        case kFrameTooLong:
        case kFrameChecksum:
            return "something answered" + at + ", but not with a frame of the T62's firmware loader (another "
                   "device, or noise on the line)";
        case kFrameReadFailed: return "the port could not be read";
    }
    if (lines.replyCode >= 0) return "a reply came" + at + ", too short for the firmware loader's identify answer";
    return "no T62 firmware loader answered" + at;
}

int32_t T62Load(const char* path) { return AppState.hexImageLength = LoadHexImage(path, T62Image); }
void T62LoadedLine(char* text, size_t size) {
    std::snprintf(text, size, kT62LoadedFormat, static_cast<int>(AppState.hexImageLength));
}
const char* T62Refusal(char* text, size_t size) { return T62ImageFitRefusal(AppState.hexImageLength, text, size); }

int T62ExplainFit(std::string* refusal, std::string* note) {
    T62ImageFit fit;
    T62CheckImageFit(AppState.hexImageLength, &fit);
    char text[256];
    if (fit.beyond >= 0) {
        std::snprintf(text, sizeof text,
                      "an update writes the vector rows and, for %d bytes, the rows from %05x to %05x (8 for every "
                      "2048 bytes); the file has data at %05x and above, which it would leave out",
                      static_cast<int>(AppState.hexImageLength), static_cast<unsigned>(kT62ApplicationStart),
                      static_cast<unsigned>(fit.lastRow), static_cast<unsigned>(fit.beyond));
        *refusal = text;
        return 0;
    }
    if (fit.loaderData >= 0) {
        std::snprintf(text, sizeof text,
                      "Note: the file's data from %05x in the loader's own rows (00200-00bff) are not written",
                      static_cast<unsigned>(fit.loaderData));
        *note = text;
    }
    return 1;
}

int T62Restart() { return T62Reset(); }
int32_t T62Units() { return T62ApplicationRows(AppState.hexImageLength); }
int32_t T62CompareUnits() { return T62CompareRows(AppState.hexImageLength); }
std::string T62Advice(const std::string& program, const std::string& file, const std::string& port) {
    return HexAdvice(TargetOf(kTargetT62), "firmware loader", program, file, port);
}

const char* const kT62ProbeAdvice =
    "Check that the T62 is in its firmware loader and has power, that its adapter is the one on this port, and the "
    "cable (TX, RX and ground); then probe again.";

const char* T62RunAdvice(int32_t status) {
    switch (status) {
        case kT62FallbackFailed:
            return "Nothing above the loader was erased or written, but the fallback row at 0 may be missing: keep "
                   "the T62 powered and do not restart it; check the cable, probe it again and run the update again.";
        case kT62VectorsFailed:
            return "The application rows are written, but the image's vector rows did not go in (the fallback row "
                   "is back at 0, so the T62 still starts its loader): run the update again before the T62 is "
                   "restarted.";
        default:
            return "The image on the T62 is incomplete: its vector rows were installed all the same, so a restart "
                   "would start a program that is partly missing. Run the update again, while the firmware loader "
                   "still answers, before the T62 is restarted.";
    }
}

const TargetReadBack kT62ReadBack = {
    .compareWorker = T62CompareWorker,
    .compareUnits = T62CompareUnits,
    .readAllWorker = T62ReadAllWorker,
    .memoryUnits = kT62MemoryEnd / kT62RowAddresses,
    .done = kT62ReadBackDone,
    .differs = kT62ReadBackDiffers,
    .secondsPerUnit = LineSeconds(kT62RowFrameBytes, kT62ProbeBaud),
};

// ---- The PSoC: its boot loader at 19200 baud.

int PsocOpenDevice(const char* device) { return SerialOpenDevice(device, kPsocProbeBaud, kPsocProbeReadTimeoutMs); }

void PsocIdentify(TargetProbeLines* lines) {
    *lines = TargetProbeLines();
    PsocProbeResult result;
    PsocProbeIdentify(&result);
    FormatPsocProbeLine(&result, lines->portLine, sizeof lines->portLine);
    lines->connected = result.outcome == kPsocProbeConnected;
    lines->firmware = -1;
    lines->wrongDevice = result.outcome == kPsocProbeNotBootLoader;
    if (lines->connected) std::snprintf(lines->loaderVersion, sizeof lines->loaderVersion, "%c", result.version);
}

std::string PsocNoAnswer(const TargetProbeLines& lines) {
    if (lines.wrongDevice) return "a device answered at " + Baud(kPsocProbeBaud) + ", but not as the PSoC boot loader";
    return "no PSoC boot loader answered at " + Baud(kPsocProbeBaud);
}

int32_t PsocLoad(const char* path) { return AppState.hexImageLength = LoadHexImage(path, PSoCImage); }
void PsocLoadedLine(char* text, size_t size) {
    std::snprintf(text, size, kPsocLoadedFormat, static_cast<int>(AppState.hexImageLength));
}
int32_t PsocUnits() { return int32_t{kPsocImageEnd} / kPsocBlockBytes; }
std::string PsocAdvice(const std::string& program, const std::string& file, const std::string& port) {
    return HexAdvice(TargetOf(kTargetPsoc), "boot loader", program, file, port);
}

const char* const kPsocProbeAdvice =
    "Check that the PSoC is in its boot loader and has power, that its adapter is the one on this port, and the "
    "cable (TX, RX and ground); then probe again.";

const char* PsocRunAdvice(int32_t) {
    return "The PSoC is not fully programmed, but its boot loader takes a new update: run the update again, and "
           "press the encoder to restart only after an update that completed.";
}

// The PSoC's empty image names where its image ends.
const std::string kPsocEmpty = [] {
    char text[64];
    std::snprintf(text, sizeof text, "no data below 0x%X, where the PSoC's image ends", kPsocImageEnd);
    return std::string(text);
}();

// ---- The ZQ3 keyer IC: its keyer channel at 1200 baud, its loader at 9600.

int Zq3OpenDevice(const char* device) {
    int opened = KeyerOpenDevice(device);
    if (opened != 0) KeyerClose();
    return opened;
}
const char* Zq3OpenFailure(int code, char*, size_t) { return KeyerOpenFailureText(code); }

void Zq3Lines(int found, const KeyerProbeResult& result, TargetProbeLines* lines) {
    *lines = TargetProbeLines();
    Copy(lines->portLine, sizeof lines->portLine, result.portLine);
    Copy(lines->hwLine, sizeof lines->hwLine, result.variantLine);
    lines->resultLine = KeyerProbeResultText(found);
    lines->connected = found >= 0;
    lines->loaderOnly = found == kIcNoOs;
    lines->firmware = -1;
    int type = AppState.keyerIcType;
    if (found >= 0 && found != kIcNoOs && type >= kIcAmber && type <= kIcRuby) {
        Copy(lines->fit, sizeof lines->fit, ReleaseVariantName(type));
        lines->firmware = AppState.keyerFwVersion * 100 + AppState.keyerFwRevision - KeyerVariantOffset(type);
    }
    if (!lines->connected) return;
    lines->icType = AppState.keyerIcType;
    if (lines->loaderOnly) return;
    std::snprintf(lines->firmwareVersion, sizeof lines->firmwareVersion, "%d.%02d", AppState.keyerFwVersion,
                  AppState.keyerFwRevision - KeyerVariantOffset(AppState.keyerIcType));
    const char* name = KeyerIcName(AppState.keyerIcType);
    if (name != nullptr) Copy(lines->variant, sizeof lines->variant, name);
}

void Zq3Identify(TargetProbeLines* lines) {
    KeyerProbeResult result;
    int found = ProbeKeyer(&result);
    Zq3Lines(found, result, lines);
}

std::string Zq3NoAnswer(const TargetProbeLines&) {
    return "no ZQ3 keyer IC answered at " + Baud(kKeyerBaud) + ", nor its loader at " +
           std::to_string(kKeyerRecordBaud);
}

void AttachKeyer(void* store) { AppState.keyerImage = static_cast<KeyerRecord*>(store); }
void* KeyerStore() { return AppState.keyerImage; }
int32_t Zq3Load(const char* path) {
    AppState.keyerRecordCount = LoadKeyerImage(path);
    if (AppState.keyerRecordCount >= 1)
        ReadKeyerImageVersion(AppState.keyerImage, &AppState.keyerImageVersion, &AppState.keyerImageVariant);
    return AppState.keyerRecordCount;
}
void Zq3LoadedLine(char* text, size_t size) {
    FormatKeyerLoadLine(text, size, AppState.keyerImageVersion, AppState.keyerImageVariant, AppState.keyerRecordCount);
}

// A keyer image keeps its firmware version (0-99) in slot 0's word 3, in
// either byte order: two bytes above 99 there are no version. The T62's and
// the PSoC's HEX files load as keyer images too, with whatever they hold
// there.
std::string Zq3NotItsImage() {
    if (AppState.keyerImageVersion <= 99) return "";
    const uint8_t* word = AppState.keyerImage[0].data + 6;
    char text[256];
    std::snprintf(text, sizeof text,
                  "not a ZQ3 keyer image: the word where a keyer image keeps its firmware version (the HEX file's "
                  "bytes 6 and 7) holds %02x %02x, which is no version; an Intel HEX file for the T62 or the PSoC?",
                  word[0], word[1]);
    return text;
}

void Zq3Prepare(const TargetRow&, TargetPrepared* out) {
    *out = TargetPrepared();
    KeyerUpdateStep step;
    KeyerPrepareUpdate(&step);
    out->text = step.text;
    out->probed = step.outcome == kKeyerUpdateNotConnected || step.outcome == kKeyerUpdateWrongImage ||
                  step.outcome == kKeyerUpdateReady;
    if (out->probed) Zq3Lines(step.probeResult, step.probe, &out->probe);
    if (step.outcome == kKeyerUpdateReady)
        out->outcome = kTargetReady;
    else if (step.outcome == kKeyerUpdateNotConnected)
        out->outcome = kTargetNotConnected;
    else
        out->outcome = kTargetRefused;
    // An IC of no known type is not the device the image is for; an image
    // for another variant is not the file for this IC.
    out->wrongImage = step.outcome == kKeyerUpdateWrongImage && AppState.keyerIcType >= kIcAmber &&
                      AppState.keyerIcType <= kIcNoOs;
}

int32_t Zq3BarPosition() { return AppState.keyerProgress; }
int32_t Zq3Units() { return KeyerUploadFrames(AppState.keyerImage); }
int64_t Zq3RunBytes() { return 16LL * KeyerUploadFrames(AppState.keyerImage); }
void Zq3LoadFacts(int32_t facts[3]) {
    facts[0] = AppState.keyerRecordCount, facts[1] = AppState.keyerImageVersion, facts[2] = AppState.keyerImageVariant;
}
void SetZq3LoadFacts(const int32_t facts[3]) {
    AppState.keyerRecordCount = facts[0], AppState.keyerImageVersion = facts[1], AppState.keyerImageVariant = facts[2];
}

int Zq3ReleaseFacts(ReleaseImage* image) {
    int32_t type = KeyerVariantBand(AppState.keyerImageVariant);
    if (type == 0) return 0;
    image->variant = ReleaseVariantName(type);
    image->version = AppState.keyerImageVersion;
    image->revision = KeyerVariantRevision(AppState.keyerImageVariant);
    return 1;
}

std::string Zq3Advice(const std::string& program, const std::string& file, const std::string& port) {
    return "The ZQ3 IC may be left in its loader without its operating firmware, at " + std::to_string(kKeyerBaud) +
           " or " + std::to_string(kKeyerRecordBaud) + " baud: `" + program + " update zq3 " + file + " --port " +
           port + "` finds it there and runs in recovery mode (`" + program + " probe zq3 --port " + port +
           "` shows \"ZQ3 Fail:No O/S\").";
}

const char* const kZq3ProbeAdvice =
    "Check that the keyer has power, that its adapter is the one on this port, and the cable (TX, RX and ground); "
    "then probe again. An IC whose update was cut short answers through its loader only, which the probe also "
    "looks for.";

const char* Zq3RunAdvice(int32_t) {
    return "The ZQ3 IC may be left in its loader without its operating firmware: run the update again, which finds "
           "it there and runs in recovery mode; press the encoder to restart only after an update that completed.";
}

// Each row names its fields in the order TargetRow declares them.
//
// A unit's time on the line, for the time left before a rate is measured:
// a T62 row written and read back (a row frame each way), a PSoC block and
// its echo, at the speeds the probes opened the line at; a keyer record and
// its reply at 9600.
const TargetRow kRows[kTargetCount] = {
    {
        .id = kTargetT62,
        .key = "t62",
        .device = "T62",
        .openButton = IDC_OPEN_T62,
        .updateButton = IDC_T62_UPDATE,
        .dialog = IDD_T62_UPLOADER,
        .startButton = IDC_T62_START,
        .restartButton = IDC_T62_RESTART,
        .completedText = kT62UpdateCompletedText,
        .openPort = T62ProbeOpen,
        .openDevice = T62OpenDevice,
        .openFailure = SyncOpenFailure,
        .waitingText = kT62ProbeWaitingText,
        .clearsHwLine = 1,
        .identify = T62Identify,
        .askTimed = nullptr,
        .noAnswer = T62NoAnswer,
        .loaderOnlyText = nullptr,
        .hexFile = 1,
        .storeSize = kImageBufferSize,
        .attachStore = AttachHex,
        .store = HexStore,
        .load = T62Load,
        .loadedLine = T62LoadedLine,
        .emptyMeaning = "no data",
        .loaded = &AppState.t62ImageLoaded,
        .refusal = T62Refusal,
        .explainFit = T62ExplainFit,
        .notItsImage = nullptr,
        .prepareProbes = 0,
        .prepare = HexPrepare,
        .runningText = kT62RunningText,
        .worker = T62UploadWorker,
        .success = kT62Success,
        .message = T62StatusMessage,
        .restartText = "Resetting T62",
        .restart = T62Restart,
        .barRange = HexBarRange,
        .barPosition = HexBarPosition,
        .showsAddress = 1,
        .unit = "rows",
        .units = T62Units,
        .unitBytes = kT62RowBytes,
        .secondsPerUnit = LineSeconds(2 * kT62RowFrameBytes, kT62ProbeBaud),
        .runBytes = HexRunBytes,
        .runPlan = T62RunPlan,
        .advice = T62Advice,
        .loadFacts = HexLoadFacts,
        .setLoadFacts = SetHexLoadFacts,
        .readBack = &kT62ReadBack,
        .probeAdvice = kT62ProbeAdvice,
        .runAdvice = T62RunAdvice,
        .releaseFacts = nullptr,
    },
    {
        .id = kTargetPsoc,
        .key = "psoc",
        .device = "PSoC",
        .openButton = IDC_OPEN_PSOC,
        .updateButton = IDC_PSOC_UPDATE,
        .dialog = IDD_PSOC_UPLOADER,
        .startButton = IDC_PSOC_START,
        .restartButton = 0,  // the PSoC's uploader has no reset button
        .completedText = kPsocUpdateCompletedText,
        .openPort = PsocProbeOpen,
        .openDevice = PsocOpenDevice,
        .openFailure = SyncOpenFailure,
        .waitingText = kPsocProbeWaitingText,
        .clearsHwLine = 0,
        .identify = PsocIdentify,
        .askTimed = nullptr,
        .noAnswer = PsocNoAnswer,
        .loaderOnlyText = nullptr,
        .hexFile = 1,
        .storeSize = kImageBufferSize,
        .attachStore = AttachHex,
        .store = HexStore,
        .load = PsocLoad,
        .loadedLine = PsocLoadedLine,
        .emptyMeaning = kPsocEmpty.c_str(),
        .loaded = &AppState.psocImageLoaded,
        .refusal = nullptr,
        .explainFit = nullptr,
        .notItsImage = nullptr,
        .prepareProbes = 0,
        .prepare = HexPrepare,
        .runningText = kPsocRunningText,
        .worker = PsocProgramWorker,
        .success = kPsocSuccess,
        .message = PsocOutcomeMessage,
        .restartText = nullptr,
        .restart = nullptr,
        .barRange = HexBarRange,
        .barPosition = HexBarPosition,
        .showsAddress = 1,
        .unit = "blocks",
        .units = PsocUnits,
        .unitBytes = kPsocBlockBytes,
        .secondsPerUnit = LineSeconds(kPsocRequestBytes + kPsocEchoBytes, kPsocProbeBaud),
        .runBytes = HexRunBytes,
        .runPlan = PsocRunPlan,
        .advice = PsocAdvice,
        .loadFacts = HexLoadFacts,
        .setLoadFacts = SetHexLoadFacts,
        .readBack = nullptr,
        .probeAdvice = kPsocProbeAdvice,
        .runAdvice = PsocRunAdvice,
        .releaseFacts = nullptr,
    },
    {
        .id = kTargetZq3,
        .key = "zq3",
        .device = "ZQ3 IC",
        .openButton = IDC_OPEN_ZQ3,
        .updateButton = IDC_ZQ3_UPDATE,
        .dialog = IDD_KEYER_UPLOADER,
        .startButton = IDC_KEYER_START,
        .restartButton = 0,
        .completedText = kKeyerUpdateCompletedText,
        .openPort = nullptr,  // the probe opens the keyer channel itself
        .openDevice = Zq3OpenDevice,
        .openFailure = Zq3OpenFailure,
        .waitingText = kKeyerProbeWaitingText,
        .clearsHwLine = 0,
        .identify = Zq3Identify,
        .askTimed = KeyerTimedEcho,
        .noAnswer = Zq3NoAnswer,
        .loaderOnlyText = "The IC answers without its operating firmware: the update runs in recovery mode.",
        .hexFile = 0,
        .storeSize = kKeyerImageSize,
        .attachStore = AttachKeyer,
        .store = KeyerStore,
        .load = Zq3Load,
        .loadedLine = Zq3LoadedLine,
        .emptyMeaning = "no records",
        .loaded = &AppState.keyerImageLoaded,
        .refusal = nullptr,
        .explainFit = nullptr,
        .notItsImage = Zq3NotItsImage,
        .prepareProbes = 1,
        .prepare = Zq3Prepare,
        .runningText = nullptr,
        .worker = KeyerUploadWorker,
        .success = kKeyerSuccess,
        .message = KeyerStatusMessage,
        .restartText = nullptr,
        .restart = nullptr,
        .barRange = nullptr,
        .barPosition = Zq3BarPosition,
        .showsAddress = 0,
        .unit = "records",
        .units = Zq3Units,
        .unitBytes = 0,
        .secondsPerUnit = LineSeconds(kKeyerFrameBytes + kKeyerReplyBytes, kKeyerRecordBaud),
        .runBytes = Zq3RunBytes,
        .runPlan = Zq3RunPlan,
        .advice = Zq3Advice,
        .loadFacts = Zq3LoadFacts,
        .setLoadFacts = SetZq3LoadFacts,
        .readBack = nullptr,
        .probeAdvice = kZq3ProbeAdvice,
        .runAdvice = Zq3RunAdvice,
        .releaseFacts = Zq3ReleaseFacts,
    },
};

}  // namespace

const char* const kTargetPortLostAdvice =
    "Plug the adapter in again (a loose cable, or a USB hub that lost its power, does this), then run it again.";

const char* const kTargetPortBusyAdvice =
    "The port is busy: another program, or this page in another tab, has it open. Close it there, then probe again.";

const TargetRow& TargetOf(TargetId id) { return kRows[id]; }

double TargetRunSeconds(const TargetRow& row, int latencyMs) {
    LinePlan plan;
    row.runPlan(&plan);
    return LinePlanSeconds(plan, latencyMs);
}

const TargetRow* TargetNamed(const std::string& key) {
    for (const TargetRow& row : kRows)
        if (key == row.key) return &row;
    return nullptr;
}

const TargetRow* TargetOfButton(int button) {
    for (const TargetRow& row : kRows)
        if (row.openButton == button || row.updateButton == button) return &row;
    return nullptr;
}

void TargetsClosePort() {
    SerialClose();
    KeyerClose();
}
