// ParseRelease on any text: it ends (no crash, nothing read outside the
// text: ASan), and a release it takes has what the reader promises: a name
// and version, entries with a known target, a name inside the folder and a
// digest of 64 hex digits, no two for one device; written again and read
// back it is the same release.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "release/release.h"

namespace {

bool Same(const Release& a, const Release& b) {
    if (a.name != b.name || a.version != b.version || a.images.size() != b.images.size()) return false;
    for (size_t i = 0; i < a.images.size(); ++i) {
        const ReleaseImage& x = a.images[i];
        const ReleaseImage& y = b.images[i];
        if (x.target != y.target || x.file != y.file || x.size != y.size || x.sha256 != y.sha256 ||
            x.variant != y.variant || x.version != y.version || x.revision != y.revision || x.revisions != y.revisions)
            return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string text(reinterpret_cast<const char*>(data), size), error;
    Release release;
    if (!ParseRelease(text, "folder", &release, &error)) {
        if (error.empty()) std::abort();
        return 0;
    }
    if (release.name.empty() || release.version.empty() || release.images.empty()) std::abort();
    for (const ReleaseImage& image : release.images) {
        if (image.sha256.size() != 64 || image.file.empty() || image.file[0] == '/') std::abort();
        if (image.file.find("..") != std::string::npos && image.file.find("../") != std::string::npos) std::abort();
        std::string why;
        if (PickReleaseImage(release, image.target, image.target == "zq3" ? image.variant : "", &why) == nullptr &&
            image.revisions.empty())
            std::abort();
    }
    Release again;
    if (!ParseRelease(ReleaseJsonText(release), "folder", &again, &error) || !Same(release, again)) std::abort();
    return 0;
}
