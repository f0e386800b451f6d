// The synchronous channel's port after a transfer found it gone (the
// adapter pulled out, and perhaps plugged back in): its handle stays dead
// even once the adapter is back, so only a new open reaches it. Every front
// end's uploader calls this before anything goes out on the port.
#pragma once
#include <cstddef>
#include <cstdint>

// When the last transfer found the port gone, or a reopen failed, opens
// COM<AppState.comPort> again through open (the probe's open, at the
// loader's speed). Returns 1 when the port is usable; else 0, with the
// status line ("Comm port open error", and the system's reason after a
// colon when it gave one) formatted into text.
int SerialReopenIfLost(int32_t (*open)(int32_t port), char* text, size_t size);
