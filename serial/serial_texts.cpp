#include "serial/serial_texts.h"

#include <cstdio>

#include "serial/serial_port.h"

const char* SerialOpenFailureText(int32_t code, char* buffer, size_t size) {
    switch (code) {
        case kSerialOpenFailed: return "Comm port open error";
        case kSerialGetStateFailed: return "Get comm state failed";
        case kSerialSetStateFailed: return "Set comm state failed";
        case kSerialGetTimeoutsFailed: return "Get comm timeouts failed";
        case kSerialSetTimeoutsFailed: return "Set comm timeouts failed";
        case kSerialPurgeFailed: return "Comm purge failed";
    }
    std::snprintf(buffer, size, "Comm error: %d", static_cast<int>(code));
    return buffer;
}

const char* FormatPortLabel(int32_t port, char* buffer, size_t size) {
    std::snprintf(buffer, size, "com:%d", static_cast<int>(port));
    return buffer;
}
