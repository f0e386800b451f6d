#include "release/release_files.h"

#include <cstdio>

bool ReleaseNameStaysInside(const std::string& name) {
    if (name.empty() || name.find('\0') != std::string::npos) return false;
    if (name[0] == '/' || name[0] == '\\') return false;
    if (name.size() >= 2 && name[1] == ':') return false;  // a drive: C:...
    size_t start = 0;
    while (start <= name.size()) {
        size_t end = name.find_first_of("/\\", start);
        if (end == std::string::npos) end = name.size();
        std::string part = name.substr(start, end - start);
        if (part == ".." || part.empty()) return false;
        start = end + 1;
    }
    return true;
}

int ReleaseReadFile(const std::string& path, std::string* bytes) {
    bytes->clear();
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return 0;
    char block[65536];
    size_t got;
    while ((got = std::fread(block, 1, sizeof block, file)) > 0) bytes->append(block, got);
    int ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}
