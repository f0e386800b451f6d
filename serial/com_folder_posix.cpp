#include "serial/com_folder.h"

#include <limits.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serial/serial_port.h"

namespace {

char deviceDir[512];

bool Absolute(const char* path) { return path != nullptr && path[0] == '/'; }

// A folder that only its owner, the user, may change.
bool OwnPrivateFolder(const char* path) {
    struct stat st;
    return stat(path, &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == getuid() &&
           (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// $XDG_RUNTIME_DIR/ridorez-com when that folder is set and is the user's
// own (the session's folder, which the system empties at log-out), else
// ~/.ridorez-com.
std::string DefaultDir() {
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (Absolute(runtime) && OwnPrivateFolder(runtime)) return std::string(runtime) + "/ridorez-com";
    const char* home = std::getenv("HOME");
    if (!Absolute(home)) {
        const passwd* pw = getpwuid(getuid());
        home = pw != nullptr ? pw->pw_dir : nullptr;
    }
    if (!Absolute(home)) return "";
    return std::string(home) + "/.ridorez-com";
}

std::string UserName(uid_t uid) {
    const passwd* pw = getpwuid(uid);
    if (pw != nullptr && pw->pw_name != nullptr) return pw->pw_name;
    return "uid " + std::to_string(static_cast<unsigned>(uid));
}

bool TrustedOwner(uid_t uid) { return uid == getuid() || uid == 0; }

// Whether another user may change what the folder at path holds: its owner
// is another user, or group or others may write it and it is not sticky
// (in a sticky folder only an entry's owner may rename or remove it).
bool OpenToOthers(const struct stat& st) {
    if (!TrustedOwner(st.st_uid)) return true;
    return (st.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (st.st_mode & S_ISVTX) == 0;
}

std::string Mode(mode_t mode) {
    char text[16];
    std::snprintf(text, sizeof text, "%04o", static_cast<unsigned>(mode & 07777));
    return text;
}

// The folder, and each one above it (any of them could be swapped for
// another user's), the user's own. "" when they are, else why not.
std::string FolderRefusal(const std::string& dir) {
    char real[PATH_MAX];
    // A folder that is not there holds no link: the open says it is missing.
    if (realpath(dir.c_str(), real) == nullptr) return "";
    std::string path = real;
    for (;;) {
        struct stat st;
        if (stat(path.c_str(), &st) != 0) return "";
        if (OpenToOthers(st)) {
            std::string which = path == real ? "the folder of COM ports " + path
                                             : path + ", a folder above the folder of COM ports " + dir + ",";
            if (!TrustedOwner(st.st_uid)) return which + " belongs to another user (" + UserName(st.st_uid) + ")";
            return which + " may be changed by other users (mode " + Mode(st.st_mode) + ")";
        }
        if (path == "/") return "";
        size_t slash = path.rfind('/');
        path = slash == 0 ? "/" : path.substr(0, slash);
    }
}

}  // namespace

void SerialSetDeviceDir(const char* dir) { std::snprintf(deviceDir, sizeof deviceDir, "%s", dir ? dir : ""); }

const char* SerialDeviceDir() {
    if (deviceDir[0]) return deviceDir;
    const char* env = std::getenv("RIDOREZ_COM_DIR");
    if (env && env[0]) return env;
    static const std::string fallback = DefaultDir();
    return fallback.c_str();
}

int IsComEntryName(const char* name) {
    if (std::strncmp(name, "com", 3) != 0 || name[3] == '\0') return 0;
    for (const char* c = name + 3; *c != '\0'; ++c)
        if (!std::isdigit(static_cast<unsigned char>(*c))) return 0;
    return 1;
}

int ComFolderTrusted(const char* device, char* why, size_t size) {
    why[0] = '\0';
    std::string dir = SerialDeviceDir();
    std::string name = device;
    if (dir.empty() || name.size() <= dir.size() + 1 || name.compare(0, dir.size(), dir) != 0 ||
        name[dir.size()] != '/' || !IsComEntryName(name.c_str() + dir.size() + 1))
        return 1;
    std::string refusal = FolderRefusal(dir);
    if (refusal.empty()) {
        struct stat st;
        if (lstat(device, &st) != 0) return 1;
        // A link's own mode means nothing; a device node's is the system's
        // say over who may use the port.
        if (!TrustedOwner(st.st_uid))
            refusal = name + " belongs to another user (" + UserName(st.st_uid) + ")";
        else if (!S_ISLNK(st.st_mode) && !S_ISCHR(st.st_mode) && (st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
            refusal = name + " may be changed by other users (mode " + Mode(st.st_mode) + ")";
    }
    if (refusal.empty()) return 1;
    std::snprintf(why, size, "%s: another user could put a device of theirs behind that name", refusal.c_str());
    return 0;
}

int ComFolderMake(char* why, size_t size) {
    why[0] = '\0';
    const char* dir = SerialDeviceDir();
    if (dir[0] == '\0') {
        std::snprintf(why, size, "no folder of COM ports: neither XDG_RUNTIME_DIR nor a home folder");
        return 0;
    }
    if (mkdir(dir, 0700) == 0 || errno == EEXIST) return 1;
    std::snprintf(why, size, "%s: %s", dir, std::strerror(errno));
    return 0;
}
