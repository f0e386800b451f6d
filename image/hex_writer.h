// Writing a flat image as an Intel HEX file that LoadHexImage reads back to
// the same bytes: 16 data bytes a line, an extended linear address record
// before each 64 KiB, the end-of-file record last.
#pragma once
#include <cstdint>

// Writes the length bytes of image (image address 0 up) to path: first into
// path with ".part" added, put in place of path in one step once complete,
// so that a write that fails leaves no half file under the name and an old
// file there whole. Returns 1, or 0 when the file could not be written.
int SaveHexImage(const char* path, const uint8_t* image, uint32_t length);
