// The system "Open" dialog, set up for a firmware image file.
#pragma once

#include "uploader/uploader_flow.h"

enum { kImageKindBin = 0, kImageKindHex = 1 };

// Size of a path buffer for ChooseImageFile: the longest path the system's
// ...A file calls open (MAX_PATH, 260 UTF-16 units with the terminator) in
// UTF-8, the program's code page, at up to 3 bytes a unit.
enum { kImagePathSize = kUploaderPathSize };

// Shows the "Open" dialog for a HEX image (kind 1) or a BIN image (any other
// kind), or a release's release.json in its place, owned by the calling
// thread's active window. Before the dialog, path receives the initial name ("*.hex" or "*.bin"); when the user picks
// an existing file, path holds its full name and the result is nonzero.
// On cancel (or when the dialog fails) the result is 0 and path still holds
// the initial name. size is the size of path in bytes.
int ChooseImageFile(char* path, int size, int kind);

// After a result of 0: 1 when the dialog refused the chosen name because it
// did not fit in path, 0 after a cancel or another failure.
int ChosenImagePathTooLong();
