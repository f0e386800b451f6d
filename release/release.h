// A firmware release: a folder holding release.json and the image files it
// names. release.json gives the release's name and version and, for each
// image, its target, its file (a name inside the folder), its size and
// SHA-256, and what it fits: the ZQ3 image its IC variant (and its firmware
// version and revision), the T62 image the hardware revisions it is for
// (none: every revision). The front ends read a release here, pick the
// image for the device their probe found and check it before anything is
// sent.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum { kReleaseFormat = 1 };
extern const char* const kReleaseFileName;  // "release.json"

struct ReleaseImage {
    std::string target;                  // "t62", "psoc", "zq3"
    std::string file;                    // its name in the release's folder
    int64_t size = 0;
    std::string sha256;                  // 64 lower-case hex digits
    std::string variant;                 // zq3: "AMBER", "TOPAZ", "JADE" or "RUBY"
    int32_t version = -1;                // zq3: the image's firmware version, -1 when not told
    int32_t revision = -1;               // zq3: the revision of its variant, -1 when not told
    std::vector<std::string> revisions;  // t62: the hardware revisions ("A", "B"); empty: every one
};

struct Release {
    std::string folder;  // where release.json and the images are
    std::string name;
    std::string version;
    std::vector<ReleaseImage> images;
};

// Whether path names a release: a file called release.json, or a folder
// holding one.
bool IsReleasePath(const std::string& path);

// Reads the release at path (release.json or its folder): the JSON, every
// entry's fields and file name, and that no two entries are for the same
// device. The images themselves are checked by CheckReleaseImage. Returns 1,
// or 0 with error naming the entry at fault.
int ReadRelease(const std::string& path, Release* release, std::string* error);

// The same on release.json's text, the folder only recorded; the names'
// links are not followed (for a reader that has no folder, and the fuzzer).
int ParseRelease(const std::string& text, const std::string& folder, Release* release, std::string* error);

// release.json's text for release.
std::string ReleaseJsonText(const Release& release);

// The path of an image of the release.
std::string ReleaseImagePath(const Release& release, const ReleaseImage& image);

// The name of a ZQ3 IC type as a release names the variant ("JADE"); "" for
// a type that is no variant.
const char* ReleaseVariantName(int32_t icType);

// The image for target that fits the device the probe found: fit is the
// device's ZQ3 variant name or T62 hardware revision letter, "" when the
// probe told none. Null when none fits, with why saying what the release
// has and what the device is.
const ReleaseImage* PickReleaseImage(const Release& release, const std::string& target, const std::string& fit,
                                     std::string* why);

// Reads the image's file and checks its size and SHA-256 against the
// release. Returns 1, or 0 with error naming the entry ("the file is not
// the one the release names", with both digests, for a digest that differs).
int CheckReleaseImage(const Release& release, const ReleaseImage& image, std::string* error);

// What a front end says of the image it took for a device whose fit is
// fit: "Release R 1.2: the zq3 image zq3-jade.bin for JADE, version 31.03
// (size and SHA-256 checked)".
std::string ReleaseTakenText(const Release& release, const ReleaseImage& image, const std::string& fit);

// An image's name in messages: "zq3 image zq3-jade.hex".
std::string ReleaseEntryName(const ReleaseImage& image);
