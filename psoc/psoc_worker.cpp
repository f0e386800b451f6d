#include "psoc/psoc_worker.h"

#include "core/app_state.h"
#include "psoc/psoc_protocol.h"

void PsocProgramWorker() {
    AppState.currentAddress = 0;
    AppState.progressBytes = 0;
    int32_t outcome = PsocProgram(&AppState.currentAddress, &AppState.progressBytes);
    AppState.uploadResult = outcome;
}
