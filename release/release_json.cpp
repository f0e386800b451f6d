// release.json read and written with nlohmann's JSON, without exceptions
// (the page's build has none): the parse that marks a bad text discarded,
// and only accessors that do not throw (get_ptr, find) after type checks.
#define JSON_NOEXCEPTION
#include <nlohmann/json.hpp>

#include "release/release.h"
#include "release/release_files.h"

using json = nlohmann::ordered_json;

namespace {

const char* const kTargets[] = {"t62", "psoc", "zq3"};
const char* const kVariants[] = {"AMBER", "TOPAZ", "JADE", "RUBY"};

// The member key of object as a string, or null when it is missing or not one.
const std::string* StringField(const json& object, const char* key) {
    auto found = object.find(key);
    if (found == object.end()) return nullptr;
    return found->get_ptr<const json::string_t*>();
}

// The member key as a whole number from low to high: 1, 0 when it is
// missing (value left as it is), -1 when it is there but not such a number.
int NumberField(const json& object, const char* key, int64_t low, int64_t high, int64_t* value) {
    auto found = object.find(key);
    if (found == object.end()) return 0;
    if (const json::number_unsigned_t* u = found->get_ptr<const json::number_unsigned_t*>()) {
        if (*u > static_cast<uint64_t>(high)) return -1;
        *value = static_cast<int64_t>(*u);
    } else if (const json::number_integer_t* i = found->get_ptr<const json::number_integer_t*>()) {
        if (*i < low || *i > high) return -1;
        *value = *i;
    } else {
        return -1;
    }
    return *value >= low ? 1 : -1;
}

bool IsDigest(const std::string& text) {
    if (text.size() != 64) return false;
    for (char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

bool IsOneOf(const std::string& value, const char* const* names, size_t count) {
    for (size_t i = 0; i < count; ++i)
        if (value == names[i]) return true;
    return false;
}

bool IsRevisionLetter(const std::string& value) { return value.size() == 1 && value[0] >= 'A' && value[0] <= 'Z'; }

// One entry of "images": fills image, or says what is wrong with it.
int ParseImage(const json& entry, size_t index, ReleaseImage* image, std::string* error) {
    std::string where = "release.json: image " + std::to_string(index + 1);
    if (!entry.is_object()) return *error = where + " is not an object", 0;
    const std::string* target = StringField(entry, "target");
    const std::string* file = StringField(entry, "file");
    if (target == nullptr || !IsOneOf(*target, kTargets, 3))
        return *error = where + ": \"target\" must be \"t62\", \"psoc\" or \"zq3\"", 0;
    if (file == nullptr) return *error = where + ": \"file\" is missing", 0;
    image->target = *target;
    image->file = *file;
    where = "release.json: " + ReleaseEntryName(*image);
    if (!ReleaseNameStaysInside(*file))
        return *error = where + ": the file must be inside the release's folder (no absolute path, no \"..\")", 0;
    if (NumberField(entry, "size", 0, INT64_C(1) << 40, &image->size) != 1)
        return *error = where + ": \"size\" must be the file's size in bytes", 0;
    const std::string* digest = StringField(entry, "sha256");
    if (digest == nullptr || !IsDigest(*digest))
        return *error = where + ": \"sha256\" must be 64 lower-case hex digits", 0;
    image->sha256 = *digest;
    if (*target == "zq3") {
        const std::string* variant = StringField(entry, "variant");
        if (variant == nullptr || !IsOneOf(*variant, kVariants, 4))
            return *error = where + ": \"variant\" must be \"AMBER\", \"TOPAZ\", \"JADE\" or \"RUBY\"", 0;
        image->variant = *variant;
        int64_t number = -1;
        if (NumberField(entry, "version", 0, 255, &number) < 0) return *error = where + ": \"version\" must be 0-255", 0;
        image->version = static_cast<int32_t>(number);
        number = -1;
        if (NumberField(entry, "revision", 0, 49, &number) < 0) return *error = where + ": \"revision\" must be 0-49", 0;
        image->revision = static_cast<int32_t>(number);
    }
    if (*target == "t62") {
        auto found = entry.find("revisions");
        if (found != entry.end()) {
            if (!found->is_array()) return *error = where + ": \"revisions\" must be a list of letters", 0;
            for (const json& letter : *found) {
                const std::string* text = letter.get_ptr<const json::string_t*>();
                if (text == nullptr || !IsRevisionLetter(*text))
                    return *error = where + ": \"revisions\" must be a list of letters (\"A\", \"B\")", 0;
                image->revisions.push_back(*text);
            }
            if (image->revisions.empty()) return *error = where + ": \"revisions\" is empty: it fits no device", 0;
        }
    }
    return 1;
}

// Whether two images of one target fit a device in common.
bool SameDevice(const ReleaseImage& a, const ReleaseImage& b) {
    if (a.target != b.target) return false;
    if (a.target == "zq3") return a.variant == b.variant;
    if (a.target == "t62" && !a.revisions.empty() && !b.revisions.empty()) {
        for (const std::string& r : a.revisions)
            for (const std::string& s : b.revisions)
                if (r == s) return true;
        return false;
    }
    return true;
}

}  // namespace

int ParseRelease(const std::string& text, const std::string& folder, Release* release, std::string* error) {
    *release = Release();
    release->folder = folder;
    json document = json::parse(text, nullptr, false);
    if (document.is_discarded()) return *error = "release.json is not JSON", 0;
    if (!document.is_object()) return *error = "release.json does not hold an object", 0;
    int64_t format = 0;
    if (NumberField(document, "format", 0, 1000, &format) != 1 || format != kReleaseFormat)
        return *error = "release.json: \"format\" must be " + std::to_string(kReleaseFormat) +
                        " (a release made by a later program?)", 0;
    const std::string* name = StringField(document, "name");
    const std::string* version = StringField(document, "version");
    if (name == nullptr || name->empty()) return *error = "release.json: \"name\" is missing", 0;
    if (version == nullptr || version->empty()) return *error = "release.json: \"version\" is missing", 0;
    release->name = *name;
    release->version = *version;
    auto images = document.find("images");
    if (images == document.end() || !images->is_array() || images->empty())
        return *error = "release.json: \"images\" must list the release's images", 0;
    for (size_t i = 0; i < images->size(); ++i) {
        ReleaseImage image;
        if (!ParseImage((*images)[i], i, &image, error)) return 0;
        for (const ReleaseImage& earlier : release->images)
            if (SameDevice(earlier, image))
                return *error = "release.json: " + ReleaseEntryName(image) + " is for the same device as " +
                                ReleaseEntryName(earlier) + ": a target may be listed once per device",
                       0;
        release->images.push_back(image);
    }
    return 1;
}

std::string ReleaseJsonText(const Release& release) {
    json document = json::object();
    document["format"] = static_cast<int>(kReleaseFormat);
    document["name"] = release.name;
    document["version"] = release.version;
    json images = json::array();
    for (const ReleaseImage& image : release.images) {
        json entry = json::object();
        entry["target"] = image.target;
        entry["file"] = image.file;
        entry["size"] = image.size;
        entry["sha256"] = image.sha256;
        if (!image.variant.empty()) entry["variant"] = image.variant;
        if (image.version >= 0) entry["version"] = image.version;
        if (image.revision >= 0) entry["revision"] = image.revision;
        if (!image.revisions.empty()) entry["revisions"] = image.revisions;
        images.push_back(entry);
    }
    document["images"] = images;
    return document.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}
