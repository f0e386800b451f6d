#include "tools/devsim/memory_file.h"

#include <cstdio>
#include <string>

bool WriteMemoryFile(const char* path, const void* bytes, size_t count) {
    std::string temp = std::string(path) + ".part";
    FILE* f = std::fopen(temp.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes, 1, count, f) == count;
    ok = std::fclose(f) == 0 && ok;
    if (ok) ok = std::rename(temp.c_str(), path) == 0;
    if (!ok) std::remove(temp.c_str());
    return ok;
}
