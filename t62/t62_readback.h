// Reading the T62's program memory back with its loader's read command: the
// check of an image against what the device holds, and the copy of its
// whole program memory. Both change nothing on the device. Each runs on a
// thread of its own like the update: it publishes progressBytes (256 per
// row read) and currentAddress (the row being read), and stores its status
// in uploadResult as its very last action.
#pragma once
#include <cstdint>

#include "core/app_state.h"

enum {
    kT62ReadBackDone = 129,     // every row read (and, checking, the same as the image)
    kT62ReadBackDiffers = 132,  // checking: rows differ (readBack* in AppState say how)
    kT62ReadBackFailed = 140,   // a row did not read back; currentAddress is that row
};

// The first target address past the T62's program memory, which the
// ImageBuffer holds whole.
constexpr int kT62MemoryEnd = kImageBufferSize / 2;

// The application rows an update of an image of imageLength bytes writes
// from kT62ApplicationStart, as T62UploadWorker counts them: whole erase
// units until the byte count is covered, none past the end of program memory.
int32_t T62ApplicationRows(int32_t imageLength);

// The rows T62CompareWorker reads for an image of imageLength bytes: its
// application rows and the four vector rows.
int32_t T62CompareRows(int32_t imageLength);

// Reads back every row an update of AppState.hexImage (hexImageLength bytes)
// writes, the application rows and then the vector rows, and compares each
// with the image as the update's verify does (pad bytes aside). Counts the
// rows that differ; notes the first word that does.
void T62CompareWorker();

// Reads the whole program memory into AppState.hexImage, in the image layout
// (target address a at offset 2a), all kImageBufferSize bytes of it.
void T62ReadAllWorker();
