// The loaders take a path: each fuzz input goes into one file per process.
#pragma once
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

inline std::string& FuzzInputPath() {
    static std::string path;
    return path;
}

inline void RemoveFuzzInput() { std::remove(FuzzInputPath().c_str()); }

// Writes the input to this process's file and returns its path. The file
// goes when the fuzzer exits.
inline const char* WriteFuzzInput(const char* target, const uint8_t* data, size_t size) {
    std::string& path = FuzzInputPath();
    if (path.empty()) {
        path = std::string("/tmp/") + target + "_" + std::to_string(getpid()) + ".hex";
        std::atexit(RemoveFuzzInput);
    }
    FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) std::abort();
    if (size > 0 && std::fwrite(data, 1, size, file) != size) std::abort();
    std::fclose(file);
    return path.c_str();
}
