#include "t62/t62_worker.h"

#include "core/app_state.h"
#include "serial/serial_port.h"
#include "t62/t62_protocol.h"

void T62UploadWorker() {
    int32_t code = 0;
    bool stop = false;
    // The dialog shows these from its first tick on: until the application
    // rows begin they must be this run's (the fallback row at 0, nothing
    // programmed), not what the previous run left, which a failed fallback
    // would otherwise leave on screen as its own.
    AppState.currentAddress = 0;
    AppState.progressBytes = 0;
    // Bytes a failed run left on the line are no reply to this run.
    PortDiscardInput(AppState.portHandle);
    if (!T62InstallFallback()) {
        AppState.uploadResult = kT62FallbackFailed;
        return;
    }
    AppState.currentAddress = kT62ApplicationStart;
    AppState.progressBytes = 0;
    while (AppState.progressBytes < AppState.hexImageLength && !stop) {
        // The run's length comes from the byte count, not the addresses, so
        // a near-full image would reach past the end of program memory (and
        // of the buffer): the image has nothing there, and the device would
        // refuse the erase. Erase units are aligned to the buffer's end.
        if (2 * AppState.currentAddress >= kImageBufferSize) break;
        if (!T62EraseBlock(AppState.currentAddress)) {
            code = kT62EraseFailed;
            break;
        }
        for (int row = 0; row < kT62RowsPerErase && !stop; ++row) {
            int32_t address = AppState.currentAddress;
            if (!T62WriteRow(address)) {
                code = kT62WriteFailed;
                stop = true;
                break;
            }
            if (T62VerifyRow(address)) {
                code = kT62VerifyFailed;
                stop = true;
            }
            AppState.currentAddress = address + kT62RowAddresses;
            AppState.progressBytes += kT62RowBytes;
        }
    }
    int vectors = T62InstallVectors();
    // A loader may acknowledge a write its flash did not take: the vector
    // rows are read back as the application rows are.
    int held = vectors && T62VerifyVectors();
    // The install erases unit 0, the fallback row with it, before the image's
    // rows go in: a failure after that would leave address 0 erased, or with
    // the reset vector and no interrupt rows (and a failed erase may only
    // have lost its reply). Put the fallback row back, once, so that the
    // device still starts its loader; the run's result stays what it was.
    if (!held) T62InstallFallback();
    if (code == 0) code = !vectors ? kT62VectorsFailed : held ? kT62Success : kT62VerifyFailed;
    AppState.uploadResult = code;
}

const char* T62StatusMessage(int32_t code) {
    switch (code) {
        case kT62Success: return "Programing Completed Successfully";
        case kT62WriteFailed: return "Error: Flash Write !";
        case kT62FallbackFailed: return "Error: Fallback Error !";
        case kT62VerifyFailed: return "Error: Flash Verify !";
        case kT62EraseFailed: return "Error: Flash Erase !";
        case kT62VectorsFailed: return "Error: Vector Install !";
        default: return "Error: Sync Fail !";
    }
}
