#include "zq3/keyer_commands.h"

#include "core/app_state.h"

const char* KeyerIcName(uint8_t icType) {
    switch (icType) {
        case kIcAmber: return "AMBER";
        case kIcTopaz: return "TOPAZ";
        case kIcJade: return "JADE";
        case kIcRuby: return "RUBY";
        default: return nullptr;
    }
}

int KeyerRevisionOffset(uint8_t icType) {
    if (icType >= kIcAmber && icType <= kIcRuby) return 50 * (icType - 1);
    return 0;
}
