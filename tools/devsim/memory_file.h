// Memory files are replaced whole: written beside the target, then renamed,
// so a reader never sees half a file.
#pragma once
#include <cstddef>
#include <cstdint>

bool WriteMemoryFile(const char* path, const void* bytes, size_t count);
