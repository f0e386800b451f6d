#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "serial/serial_port.h"

void SerialDeviceName(int32_t port, char* name, size_t size) {
    if (port < 10)
        std::snprintf(name, size, "COM%d", static_cast<int>(port));
    else
        std::snprintf(name, size, "\\\\.\\COM%d", static_cast<int>(port));
}

void SerialComDevice(int32_t port, char* device, size_t size) {
    // Only POSIX keeps its COM ports in a folder.
    const char* dir = SerialDeviceDir();
    if (dir[0] == '\0')
        SerialDeviceName(port, device, size);
    else
        std::snprintf(device, size, "%s/com%d", dir, static_cast<int>(port));
}

void SerialPortDevice(const char* name, char* device, size_t size) {
    bool com = std::toupper(static_cast<unsigned char>(name[0])) == 'C' &&
               std::toupper(static_cast<unsigned char>(name[1])) == 'O' &&
               std::toupper(static_cast<unsigned char>(name[2])) == 'M' &&
               std::isdigit(static_cast<unsigned char>(name[3]));
    for (const char* c = name + 3; com && *c; ++c)
        if (!std::isdigit(static_cast<unsigned char>(*c))) com = false;
    long number = com ? std::strtol(name + 3, nullptr, 10) : 0;
    if (com && number >= 1 && number <= 9999)
        SerialComDevice(static_cast<int32_t>(number), device, size);
    else
        std::snprintf(device, size, "%s", name);
}
