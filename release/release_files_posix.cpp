#include <sys/stat.h>

#include <climits>
#include <cstdlib>

#include "release/release_files.h"

namespace {

std::string RealPath(const std::string& path) {
    char* real = realpath(path.c_str(), nullptr);
    if (real == nullptr) return "";
    std::string result = real;
    std::free(real);
    return result;
}

}  // namespace

bool ReleaseFileLeavesFolder(const std::string& folder, const std::string& name) {
    std::string file = RealPath(folder + "/" + name);
    if (file.empty()) return false;
    std::string inside = RealPath(folder);
    if (inside.empty()) return true;
    if (inside != "/") inside += "/";
    return file.compare(0, inside.size(), inside) != 0;
}

bool ReleaseIsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
