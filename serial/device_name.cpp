#include <cstdio>

#include "serial/serial_port.h"

void SerialDeviceName(int32_t port, char* name, size_t size) {
    if (port < 10)
        std::snprintf(name, size, "COM%d", static_cast<int>(port));
    else
        std::snprintf(name, size, "\\\\.\\COM%d", static_cast<int>(port));
}
