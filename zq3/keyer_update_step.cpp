#include "zq3/keyer_update_step.h"

#include "core/app_state.h"
#include "serial/port_fault.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_upload.h"

void KeyerPrepareUpdate(KeyerUpdateStep* step) {
    *step = KeyerUpdateStep();
    AppState.keyerUpdateAllowed = 0;
    if (!AppState.keyerImageLoaded) {
        step->outcome = kKeyerUpdateNoImage;
        step->text = "Error: Please Open a Programming File !";
        return;
    }
    if (AppState.keyerRecordCount < 1) {
        step->outcome = kKeyerUpdateNoRecords;
        step->text = "Error: Zero Length File !";
        return;
    }
    // The handle of a port that went away stays dead even when the adapter
    // is back: let go of it, and the probe opens the port again.
    if (AppState.keyerHandle != nullptr && LastPortFault().problem == kPortGone) KeyerClose();
    // The probe finds the keyer channel a probe left open, or opens it again
    // when another probe has taken the port since.
    step->probeResult = ProbeKeyer(&step->probe);
    if (step->probeResult < 0) {
        step->outcome = kKeyerUpdateNotConnected;
        step->text = "ZQ not connected";
        return;
    }
    const char* refusal = KeyerVariantCheck(AppState.keyerIcType, AppState.keyerImageVariant);
    if (refusal != nullptr) {
        step->outcome = kKeyerUpdateWrongImage;
        step->text = refusal;
        return;
    }
    AppState.keyerUpdateAllowed = 1;
    AppState.keyerProgress = 0;
    AppState.uploadResult = 0;
    step->outcome = kKeyerUpdateReady;
    step->text = AppState.keyerIcType == kIcNoOs ? kKeyerRecoveryText : kKeyerRunningText;
}
