// What the three uploader dialogs share: their image store, the worker run
// with its 100 ms timer, the progress bar, and closing only when no worker
// can still use the port or the image store.
#pragma once
#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "res/resource.h"

// The dialogs' one timer: it ticks every kWorkerTickMs and follows the worker.
enum { kUploaderTimer = 2 };

struct UploaderRun {
    bool busy;          // a worker runs
    bool closePending;  // Exit or the close box came while it ran
};

// Obtains an image store of size bytes; on failure shows a message, disables
// Load and returns null.
void* UploaderAllocate(HWND dialog, size_t size);

// Starts worker on a new thread and timer 2. On failure shows a message and
// returns 0, leaving the dialog as it was before the run.
int UploaderStart(HWND dialog, UploaderRun* run, void (*worker)());

// Exit and the close box: end the dialog now, or as soon as the worker is done.
void UploaderClose(HWND dialog, UploaderRun* run);

// The tick that saw the worker's status: stops the timer, and ends the dialog
// if a close was asked for during the run. Returns 1 when the dialog ended.
int UploaderFinished(HWND dialog, UploaderRun* run);

void UploaderSetRange(HWND dialog, int32_t upper);
void UploaderSetPosition(HWND dialog, int32_t position);

// "%05x" of address into the address control, built in statusText.
void UploaderShowAddress(HWND dialog, int32_t address);

// The path chooser and loader step shared by all: 1 when a file was chosen
// (its path is then in path and shown), 0 when the user cancelled, or when
// the chooser refused a path too long for path (which the status line says).
// path holds kImagePathSize bytes.
int UploaderChooseFile(HWND dialog, char* path, int size, int kind);

// The T62 and PSoC uploaders differ only in these; everything else about
// loading a HEX image and running its worker they share.
struct HexUploader {
    int32_t imageKind;         // LoadHexImage's kind
    int32_t* loaded;           // the dialog's loaded flag in AppState
    const char* loadedFormat;  // status line after a load, with the byte count
    const char* runningText;   // status line while the worker runs
    int updateButton;
    int restartButton;         // 0 when the dialog has none
    void (*worker)();
    int32_t (*open)(int32_t port);  // the probe's SerialOpen of COM<port> at the loader's speed
    // Why the loaded image (of imageLength bytes) cannot be written whole,
    // formatted into text; null when it can. Null for a target that writes
    // every image whole.
    const char* (*refusal)(int32_t imageLength, char* text, size_t size);
};

// Before anything goes out on the port: when the last transfer found the
// port gone (the adapter pulled out, and perhaps plugged back in), or a
// reopen failed, opens COM<comPort> again as the probe did. Returns 1 when
// the port is usable; else the status line says why and returns 0.
int HexUploaderReopenIfLost(HWND dialog, const HexUploader& uploader);

void HexUploaderOpen(HWND dialog, const HexUploader& uploader, UploaderRun* run);
void HexUploaderLoad(HWND dialog, const HexUploader& uploader, UploaderRun* run);
void HexUploaderUpdate(HWND dialog, const HexUploader& uploader, UploaderRun* run);

// Moves the bar and the address. Once the worker has stored its status, puts
// the buttons back, takes the status (clearing uploadResult) and returns it:
// the dialog shows its message and then calls UploaderFinished. Else 0.
int32_t HexUploaderTick(HWND dialog, const HexUploader& uploader);

// Releases the image store; called when the dialog is destroyed, which
// happens only once no worker runs.
void HexUploaderRelease();
