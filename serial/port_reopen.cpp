#include "serial/port_reopen.h"

#include <cstdio>

#include "core/app_state.h"
#include "serial/port_fault.h"
#include "serial/serial_port.h"
#include "serial/serial_texts.h"

int SerialReopenIfLost(int32_t (*open)(int32_t port), char* text, size_t size) {
    if (AppState.portHandle != nullptr && LastPortFault().problem != kPortGone) return 1;
    SerialClose();
    int32_t opened = open(AppState.comPort);
    if (opened == 0) return 1;
    char code[32];
    const char* failure = SerialOpenFailureText(opened, code, sizeof code);
    const char* why = LastPortFault().detail;
    std::snprintf(text, size, why[0] ? "%s: %s" : "%s", failure, why);
    return 0;
}
