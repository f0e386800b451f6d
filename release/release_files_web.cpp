// The page's files are those it fetched from its own origin into its memory
// file system: no links there.
#include <sys/stat.h>

#include "release/release_files.h"

bool ReleaseFileLeavesFolder(const std::string&, const std::string&) { return false; }

bool ReleaseIsFolder(const std::string& path) {
    struct stat info;
    return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}
