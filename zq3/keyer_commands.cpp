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
