// The PSoC update run, on a thread of its own.
#pragma once

// Programs AppState.hexImage through the open port, publishing currentAddress
// and progressBytes, and stores the outcome in uploadResult as its last write.
void PsocProgramWorker();
