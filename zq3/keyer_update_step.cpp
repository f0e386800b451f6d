#include "zq3/keyer_update_step.h"

#include "core/app_state.h"
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
