#include "release/release.h"

#include <cstdio>

#include "core/app_state.h"
#include "release/release_files.h"
#include "release/sha256.h"

const char* const kReleaseFileName = "release.json";

namespace {

// The folder and the release.json of a path naming either.
void SplitReleasePath(const std::string& path, std::string* folder, std::string* json) {
    if (ReleaseIsFolder(path)) {
        *folder = path;
        *json = path + "/" + kReleaseFileName;
        return;
    }
    *json = path;
    size_t slash = path.find_last_of("/\\");
    *folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
}

// "JADE, RUBY": what the release's images of target fit.
std::string FitsOf(const Release& release, const std::string& target) {
    std::string list;
    for (const ReleaseImage& image : release.images) {
        if (image.target != target) continue;
        std::string fits = image.variant;
        if (target == "t62") {
            if (image.revisions.empty()) fits = "every hardware revision";
            for (const std::string& r : image.revisions) fits += (fits.empty() ? "revision " : ", ") + r;
        }
        if (fits.empty()) fits = "every device";
        list += (list.empty() ? "" : "; ") + fits;
    }
    return list;
}

bool Fits(const ReleaseImage& image, const std::string& fit) {
    if (image.target == "zq3") return !fit.empty() && image.variant == fit;
    if (image.target == "t62" && !image.revisions.empty()) {
        for (const std::string& r : image.revisions)
            if (r == fit) return true;
        return false;
    }
    return true;
}

}  // namespace

bool IsReleasePath(const std::string& path) {
    if (ReleaseIsFolder(path)) return true;  // an image is never a folder
    size_t slash = path.find_last_of("/\\");
    return path.substr(slash == std::string::npos ? 0 : slash + 1) == kReleaseFileName;
}

int ReadRelease(const std::string& path, Release* release, std::string* error) {
    std::string folder, json, text;
    SplitReleasePath(path, &folder, &json);
    if (!ReleaseReadFile(json, &text)) {
        if (ReleaseIsFolder(path))
            *error = "a folder, not an image file, and no release either (it holds no " +
                     std::string(kReleaseFileName) + "): name the image file itself, or a release's folder";
        else
            *error = json + ": the release cannot be read";
        return 0;
    }
    if (!ParseRelease(text, folder, release, error)) return 0;
    for (const ReleaseImage& image : release->images) {
        if (ReleaseFileLeavesFolder(folder, image.file)) {
            *error = "release.json: " + ReleaseEntryName(image) + ": the file leads out of the release's folder";
            return 0;
        }
    }
    return 1;
}

std::string ReleaseImagePath(const Release& release, const ReleaseImage& image) {
    // A folder the user chose on Windows ("Z:\\rel") keeps its own separator.
    bool backslashes = release.folder.find('\\') != std::string::npos && release.folder.find('/') == std::string::npos;
    return release.folder + (backslashes ? "\\" : "/") + image.file;
}

const char* ReleaseVariantName(int32_t icType) {
    switch (icType) {
        case kIcAmber: return "AMBER";
        case kIcTopaz: return "TOPAZ";
        case kIcJade: return "JADE";
        case kIcRuby: return "RUBY";
        default: return "";
    }
}

std::string ReleaseEntryName(const ReleaseImage& image) { return image.target + " image " + image.file; }

std::string ReleaseTakenText(const Release& release, const ReleaseImage& image, const std::string& fit) {
    std::string text = "Release " + release.name + " " + release.version + ": the " + image.target + " image " + image.file;
    if (!image.variant.empty()) text += " for " + image.variant;
    if (!image.revisions.empty()) text += " for hardware revision " + fit;
    if (image.version >= 0) {
        char version[48];
        std::snprintf(version, sizeof version, ", version %d.%02d", static_cast<int>(image.version),
                      static_cast<int>(image.revision < 0 ? 0 : image.revision));
        text += version;
    }
    return text + " (size and SHA-256 checked)";
}

const ReleaseImage* PickReleaseImage(const Release& release, const std::string& target, const std::string& fit,
                                     std::string* why) {
    for (const ReleaseImage& image : release.images)
        if (image.target == target && Fits(image, fit)) return &image;
    std::string has = FitsOf(release, target);
    std::string head = "release " + release.name + " " + release.version;
    if (has.empty()) {
        *why = head + " has no " + target + " image";
    } else {
        std::string device = fit.empty() ? "tells none" : "is " + fit;
        if (target == "t62") device = fit.empty() ? "told no hardware revision" : "is hardware revision " + fit;
        if (target == "zq3" && fit.empty()) device = "told no variant (it answers without its operating firmware)";
        *why = head + " has no " + target + " image for this device: the release has " + has + "; the device " + device;
    }
    return nullptr;
}

int CheckReleaseImage(const Release& release, const ReleaseImage& image, std::string* error) {
    std::string path = ReleaseImagePath(release, image), bytes;
    std::string where = ReleaseEntryName(image) + ": ";
    if (ReleaseFileLeavesFolder(release.folder, image.file)) {
        *error = where + "the file leads out of the release's folder";
        return 0;
    }
    if (!ReleaseReadFile(path, &bytes)) {
        *error = where + path + " cannot be read";
        return 0;
    }
    if (static_cast<int64_t>(bytes.size()) != image.size) {
        *error = where + "the file is not the one the release names: it has " + std::to_string(bytes.size()) +
                 " bytes, the release names " + std::to_string(image.size);
        return 0;
    }
    std::string digest = Sha256Hex(bytes.data(), bytes.size());
    if (digest.empty()) {
        *error = where + "its SHA-256 could not be computed";
        return 0;
    }
    if (digest != image.sha256) {
        *error = where + "the file is not the one the release names: its SHA-256 is " + digest +
                 ", the release names " + image.sha256;
        return 0;
    }
    return 1;
}
