// ridorez status and ridorez update all: each target on the port against a
// release. The targets go in the order an update of the whole product
// takes: the T62 first, whose loader puts its fall-back row in place before
// anything else and answers again after any run, so that it needs nobody;
// then the ZQ3, whose run ends with the line back at 1200 baud and which a
// failed run leaves answering through its loader for recovery; the PSoC
// last, since after its run the product waits for the encoder to be
// pressed. One press then restarts a product whose chips are all done.
#include <cstdio>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/port_select.h"
#include "cli/probe_step.h"
#include "cli/release_step.h"

namespace {

const TargetId kOrder[] = {kTargetT62, kTargetZq3, kTargetPsoc};

enum TargetState { kNoAnswer, kNoImage, kNoFit, kUpToDate, kOutOfDate, kCannotTell, kUpdated, kFailed };
const char* const kStateTexts[] = {"no answer", "not in the release", "no image fits", "up to date",
                                   "out of date", "cannot tell", "updated", "failed"};

struct TargetStatus {
    const TargetRow* row = nullptr;
    int state = kNoAnswer;
    std::string image;    // the release's file for it
    std::string has;      // what the device has, as far as it tells
    std::string release;  // what the release has for it
};

std::string Firmware(int32_t firmware) {
    char text[16];
    std::snprintf(text, sizeof text, "%d.%02d", static_cast<int>(firmware / 100), static_cast<int>(firmware % 100));
    return text;
}

bool ReleaseHasTarget(const Release& release, const TargetRow& row) {
    for (const ReleaseImage& image : release.images)
        if (image.target == row.key) return true;
    return false;
}

// The T62 against the image: what an update would write, read back (the
// verify). Its own lines say how that went.
int CompareByReadBack(const TargetRow& row, const std::string& port, const std::string& path, TargetStatus* status) {
    CliOptions verify;
    verify.target = row.key;
    verify.file = path;
    verify.port = port;
    CliReport quiet;
    int code = LoadImageStep(verify, &quiet);
    if (code == kExitDone) code = RunLoadedVerify(verify, &quiet);
    if (code == kExitDone) status->state = kUpToDate;
    else if (code == kExitDiffers) status->state = kOutOfDate;
    else status->state = kCannotTell;
    status->has = code == kExitDone ? "the release's image" : code == kExitDiffers ? "another image" : quiet.message;
    return code == kExitInterrupted ? code : kExitDone;
}

// Probes row's target and says what it has against the release.
int TargetAgainstRelease(const Release& release, const TargetRow& row, const std::string& port, TargetStatus* status,
                         CliReport* report) {
    status->row = &row;
    if (!ReleaseHasTarget(release, row)) {
        status->state = kNoImage;
        return kExitDone;
    }
    char device[600];
    CliPortDevice(port.c_str(), device, sizeof device);
    CliReport probe;
    if (OpenStep(row, port, device, &probe) != kExitDone) {
        report->message = probe.message;
        return kExitPort;
    }
    TargetProbeLines lines;
    row.identify(&lines);
    if (!lines.connected) {
        Say("%s: %s", row.key, row.noAnswer(lines).c_str());
        return kExitDone;
    }
    ReportProbe(row, lines, port, &probe);
    const ReleaseImage* image = nullptr;
    if (PickReleaseStep(release, row, lines, &image, &probe) != kExitDone) {
        status->state = kNoFit;
        status->has = lines.fit;
        status->release = probe.message;
        return kExitDone;
    }
    status->image = image->file;
    if (image->version >= 0) status->release = Firmware(image->version * 100 + image->revision);
    if (lines.loaderOnly) {
        status->state = kOutOfDate;
        status->has = "no operating firmware";
    } else if (lines.firmware >= 0 && image->version >= 0) {
        status->has = Firmware(lines.firmware);
        status->state = lines.firmware == image->version * 100 + image->revision ? kUpToDate : kOutOfDate;
    } else if (row.readBack != nullptr) {
        return CompareByReadBack(row, port, ReleaseImagePath(release, *image), status);
    } else {
        status->state = kCannotTell;
        status->has = "its loader tells no application version";
    }
    return kExitDone;
}

std::string StatusLine(const TargetStatus& s) {
    std::string line = std::string(s.row->key) + ": " + kStateTexts[s.state];
    if (!s.image.empty()) line += " (release: " + s.image + (s.release.empty() ? "" : " " + s.release);
    if (!s.image.empty()) line += s.has.empty() ? ")" : "; device: " + s.has + ")";
    if (s.state == kNoFit) line += ": " + s.release;
    return line;
}

std::string StatusJson(const std::vector<TargetStatus>& all) {
    std::string out = "[";
    for (const TargetStatus& s : all) {
        if (out.size() > 1) out += ",";
        out += "{\"target\":" + JsonString(s.row->key) + ",\"state\":" + JsonString(kStateTexts[s.state]) +
               ",\"image\":" + (s.image.empty() ? "null" : JsonString(s.image)) + ",\"device\":" +
               JsonString(s.has) + ",\"release\":" + JsonString(s.release) + "}";
    }
    return out + "]";
}

// Every target against the release, in the order of an update; stops at a
// port that cannot be opened or an interrupt.
int Survey(const Release& release, const std::string& port, std::vector<TargetStatus>* all, CliReport* report) {
    for (TargetId id : kOrder) {
        TargetStatus status;
        int code = TargetAgainstRelease(release, TargetOf(id), port, &status, report);
        TargetsClosePort();
        if (code != kExitDone) return code;
        all->push_back(status);
    }
    return kExitDone;
}

// The release read and every target it names surveyed on the port: what
// status shows and what update all starts from.
int ReadAndSurvey(const CliOptions& options, Release* release, std::vector<TargetStatus>* all, CliReport* report) {
    int read = ReadReleaseStep(options.file, "", release, report);
    if (read != kExitDone) return read;
    return Survey(*release, options.port, all, report);
}

}  // namespace

int RunStatus(const CliOptions& options, CliReport* report) {
    Release release;
    std::vector<TargetStatus> all;
    int code = ReadAndSurvey(options, &release, &all, report);
    if (code != kExitDone) return code;
    SayFinal("Release %s %s on %s:", release.name.c_str(), release.version.c_str(), options.port.c_str());
    for (const TargetStatus& s : all) SayFinal("  %s", StatusLine(s).c_str());
    report->targets = StatusJson(all);
    report->message = "status of release " + release.name + " " + release.version;
    return kExitDone;
}

int RunUpdateAll(const CliOptions& options, CliReport* report) {
    Release release;
    std::vector<TargetStatus> all;
    int code = ReadAndSurvey(options, &release, &all, report);
    if (code != kExitDone) return code;
    std::string done, failed;
    for (TargetStatus& s : all) {
        if (s.state == kNoFit) {
            code = kExitFile;
            report->message = s.release;
            failed = s.row->key;
            s.state = kFailed;
            break;
        }
        if (s.state != kOutOfDate && s.state != kCannotTell) continue;
        Say("Updating the %s from %s....", s.row->device, s.image.c_str());
        CliOptions one = options;
        one.target = s.row->key;
        one.file = options.file;
        code = RunUpdate(one, report);
        TargetsClosePort();
        if (code != kExitDone) {
            s.state = kFailed;
            failed = s.row->key;
            break;
        }
        s.state = kUpdated;
        done += (done.empty() ? "" : ", ") + std::string(s.row->key);
    }
    SayFinal("Release %s %s on %s:", release.name.c_str(), release.version.c_str(), options.port.c_str());
    for (const TargetStatus& s : all) SayFinal("  %s", StatusLine(s).c_str());
    report->targets = StatusJson(all);
    if (code != kExitDone) {
        Complain("%s: update all stopped at the %s; %s; the rest were left as they are", kCliName, failed.c_str(),
                 done.empty() ? "none was updated before it" : ("updated before it: " + done).c_str());
        return code;
    }
    report->message = done.empty() ? "every target that answered is up to date: nothing to update"
                                   : "updated: " + done + "; press the encoder to restart the product";
    SayFinal("%s", report->message.c_str());
    return kExitDone;
}
