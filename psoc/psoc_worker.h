// The PSoC update run, on a thread of its own.
#pragma once

// Programs AppState.hexImage through the open port, publishing currentAddress
// and progressBytes, and stores the outcome in uploadResult as its last write.
void PsocProgramWorker();

// The uploader's lines before a run: after a load (with the byte count),
// and while the worker runs.
const char* const kPsocLoadedFormat = "PSoC Image Loaded, %d Bytes";
const char* const kPsocRunningText = "Programming PSoC....";
