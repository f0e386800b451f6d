// ridorez release make: the images copied into the release's folder, each
// loaded by its target's loader and refused as update refuses it, then
// release.json. The copies go in under temporary names and release.json
// comes last, so that a make that fails or is stopped leaves no release
// half written: the folder holds the old release, or the new one whole.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "cli/worker_run.h"
#include "release/release.h"
#include "release/sha256.h"

namespace fs = std::filesystem;

namespace {

const char* const kPart = ".part";

struct Staged {
    std::string from, name;  // the file given, and its name in the release
    ReleaseImage image;
};

int Refuse(int code, const std::string& text, CliReport* report) {
    report->message = text;
    Complain("%s: %s", kCliName, text.c_str());
    return code;
}

// TARGET[@REVISIONS]:FILE into staged's target, revisions and file.
int ParseImageArgument(const std::string& argument, Staged* staged, CliReport* report) {
    size_t colon = argument.find(':');
    std::string target = argument.substr(0, colon == std::string::npos ? 0 : colon);
    std::string revisions;
    size_t at = target.find('@');
    if (at != std::string::npos) revisions = target.substr(at + 1), target.resize(at);
    if (colon == std::string::npos || colon + 1 == argument.size() || TargetNamed(target) == nullptr)
        return Refuse(kExitUsage, argument + ": give each image as TARGET:FILE, TARGET t62, psoc or zq3", report);
    if (!revisions.empty() && target != "t62")
        return Refuse(kExitUsage, argument + ": hardware revisions are for a t62 image only", report);
    staged->from = argument.substr(colon + 1);
    staged->image.target = target;
    size_t start = 0;
    while (!revisions.empty() && start <= revisions.size()) {
        size_t end = revisions.find(',', start);
        if (end == std::string::npos) end = revisions.size();
        std::string letter = revisions.substr(start, end - start);
        if (letter.size() != 1 || letter[0] < 'A' || letter[0] > 'Z')
            return Refuse(kExitUsage, argument + ": hardware revisions are letters: t62@B,C:FILE", report);
        staged->image.revisions.push_back(letter);
        start = end + 1;
    }
    staged->name = fs::path(staged->from).filename().string();
    staged->image.file = staged->name;
    return kExitDone;
}

// Copies the file into dir under its name and kPart, loads the copy as
// update would, and fills the entry's size, digest and what it fits.
int StageImage(const std::string& dir, Staged* staged, CliReport* report) {
    const TargetRow& row = *TargetNamed(staged->image.target);
    std::string copy = dir + "/" + staged->name + kPart;
    std::error_code error;
    fs::copy_file(staged->from, copy, fs::copy_options::overwrite_existing, error);
    if (error) return Refuse(kExitFile, staged->from + ": cannot be copied into " + dir + ": " + error.message(), report);
    AttachImageStore(row);
    int32_t loaded = row.load(copy.c_str());
    int openError = errno;
    if (loaded <= 0) {
        LoadFailed(loaded, staged->from, row.emptyMeaning, openError, report);
        return kExitFile;
    }
    std::string refusal, note;
    if (row.explainFit != nullptr && !row.explainFit(&refusal, &note))
        return Refuse(kExitFile, staged->from + ": " + refusal, report);
    if (row.releaseFacts != nullptr && !row.releaseFacts(&staged->image))
        return Refuse(kExitFile, staged->from + ": the image tells no IC variant, and a release names each " +
                                     row.key + " image by the variant it fits",
                      report);
    std::string bytes;
    FILE* file = std::fopen(copy.c_str(), "rb");
    char block[65536];
    size_t got;
    while (file != nullptr && (got = std::fread(block, 1, sizeof block, file)) > 0) bytes.append(block, got);
    if (file != nullptr) std::fclose(file);
    staged->image.size = static_cast<int64_t>(bytes.size());
    staged->image.sha256 = Sha256Hex(bytes.data(), bytes.size());
    if (file == nullptr || staged->image.sha256.empty())
        return Refuse(kExitFile, copy + ": cannot be read back for its SHA-256", report);
    char line[128];
    row.loadedLine(line, sizeof line);
    Say("%s: %s", staged->name.c_str(), line);
    return kExitDone;
}

void RemoveStaged(const std::string& dir, const std::vector<Staged>& staged) {
    std::error_code error;
    for (const Staged& s : staged) fs::remove(dir + "/" + s.name + kPart, error);
    fs::remove(dir + "/" + std::string(kReleaseFileName) + kPart, error);
}

int WriteText(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return 0;
    int ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok;
}

int Make(const CliOptions& options, std::vector<Staged>* staged, CliReport* report) {
    const std::string& dir = options.file;
    std::error_code error;
    std::string json = dir + "/" + kReleaseFileName;
    if (fs::exists(json, error) && !options.release.force)
        return Refuse(kExitFile, dir + " holds a release already: give --force to replace it, or another folder",
                      report);
    fs::create_directories(dir, error);
    if (error || !fs::is_directory(dir, error))
        return Refuse(kExitFile, dir + ": the folder cannot be made", report);

    Release release;
    release.folder = dir;
    release.name = options.release.name;
    release.version = options.release.version;
    for (const std::string& argument : options.release.images) {
        Staged next;
        int parsed = ParseImageArgument(argument, &next, report);
        if (parsed != kExitDone) return parsed;
        for (const Staged& s : *staged)
            if (s.name == next.name)
                return Refuse(kExitUsage, s.from + " and " + next.from + " have one name in the release: " + next.name,
                              report);
        staged->push_back(next);
        int done = StageImage(dir, &staged->back(), report);
        if (done != kExitDone) return done;
        release.images.push_back(staged->back().image);
    }
    // What the reader would refuse (two images for one device) is refused
    // before anything takes the place of what the folder holds.
    std::string text = ReleaseJsonText(release), why;
    Release check;
    if (!ParseRelease(text, dir, &check, &why)) return Refuse(kExitUsage, why, report);
    if (!WriteText(json + kPart, text)) return Refuse(kExitFile, json + kPart + ": cannot be written", report);
    for (const Staged& s : *staged) {
        fs::rename(dir + "/" + s.name + kPart, dir + "/" + s.name, error);
        if (error) return Refuse(kExitFile, dir + "/" + s.name + ": cannot be written: " + error.message(), report);
    }
    fs::rename(json + kPart, json, error);
    if (error) return Refuse(kExitFile, json + ": cannot be written: " + error.message(), report);
    report->message = "Release " + release.name + " " + release.version + " written: " + json + ", " +
                      std::to_string(release.images.size()) + " image(s)";
    SayFinal("%s", report->message.c_str());
    return kExitDone;
}

}  // namespace

int RunReleaseMake(const CliOptions& options, CliReport* report) {
    std::vector<Staged> staged;
    int code = Make(options, &staged, report);
    if (code != kExitDone) RemoveStaged(options.file, staged);
    return code;
}
