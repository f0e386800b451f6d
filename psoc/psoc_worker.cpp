#include "psoc/psoc_worker.h"

#include "core/app_state.h"
#include "psoc/psoc_protocol.h"
#include "serial/serial_port.h"

void PsocProgramWorker() {
    AppState.currentAddress = 0;
    AppState.progressBytes = 0;
    // The echoes are read by count, not by frame: one stale byte left by a
    // failed run (noise, the rest of an echo) would shift every echo of this
    // run by one and fail it.
    PortDiscardInput(AppState.portHandle);
    int32_t outcome = PsocProgram(&AppState.currentAddress, &AppState.progressBytes);
    AppState.uploadResult = outcome;
}
