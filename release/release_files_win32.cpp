#include <windows.h>

#include "release/release_files.h"

// A link on Windows is a reparse point: the file or any folder between it
// and the release's folder being one may lead out, so any of them is taken
// as leading out.
bool ReleaseFileLeavesFolder(const std::string& folder, const std::string& name) {
    std::string path = folder;
    size_t start = 0;
    while (start < name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        path += '\\';
        path.append(name, start, end - start);
        DWORD attributes = GetFileAttributesA(path.c_str());
        if (attributes == INVALID_FILE_ATTRIBUTES) return false;
        if (attributes & FILE_ATTRIBUTE_REPARSE_POINT) return true;
        start = end + 1;
    }
    return false;
}

bool ReleaseIsFolder(const std::string& path) {
    DWORD attributes = GetFileAttributesA(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}
