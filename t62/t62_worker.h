// The T62 update run, on a thread of its own.
#pragma once
#include <cstdint>

// T62UploadWorker status codes (AppState.uploadResult).
enum {
    kT62Success = 129,
    kT62WriteFailed = 130,
    kT62FallbackFailed = 131,
    kT62VerifyFailed = 132,
    kT62EraseFailed = 133,
    kT62VectorsFailed = 134,
};

// Programs the image in AppState.hexImage (hexImageLength bytes) through the
// open port, publishing progressBytes and currentAddress as it goes, and
// stores the final status in uploadResult as its very last action.
void T62UploadWorker();

// The message the dialog shows for a status code.
const char* T62StatusMessage(int32_t code);

// The uploader's lines before a run: after a load (with the byte count),
// and while the worker runs.
const char* const kT62LoadedFormat = "T62 Image Loaded, %d Bytes";
const char* const kT62RunningText = "Programming T62 PIC....";
