// The system "Open" dialog, set up for a firmware image file.
#pragma once

enum { kImageKindBin = 0, kImageKindHex = 1 };

// Shows the "Open" dialog for a HEX image (kind 1) or a BIN image (any other
// kind), owned by the calling thread's active window. Before the dialog,
// path receives the initial name ("*.hex" or "*.bin"); when the user picks
// an existing file, path holds its full name and the result is nonzero.
// On cancel (or when the dialog fails) the result is 0 and path still holds
// the initial name. size is the size of path in bytes.
int ChooseImageFile(char* path, int size, int kind);
