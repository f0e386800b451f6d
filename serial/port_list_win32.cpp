#include <windows.h>

#include <cstdio>
#include <cstring>

#include "serial/port_list.h"
#include "serial/serial_port.h"

namespace {

enum { kHighestPort = 256 };

// The system's name of the device behind COMn, from the registry's list of
// serial ports ("\\Device\\Serial0", "\\Device\\VCP0"), or "".
void DeviceBehind(int32_t port, char* about, size_t size) {
    about[0] = '\0';
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) != ERROR_SUCCESS)
        return;
    char wanted[16];
    std::snprintf(wanted, sizeof wanted, "COM%d", static_cast<int>(port));
    for (DWORD i = 0;; ++i) {
        char name[256];
        BYTE data[64];
        DWORD nameSize = sizeof name, dataSize = sizeof data - 1, type = 0;
        if (RegEnumValueA(key, i, name, &nameSize, nullptr, &type, data, &dataSize) != ERROR_SUCCESS) break;
        data[dataSize] = 0;
        if (type == REG_SZ && _stricmp(reinterpret_cast<char*>(data), wanted) == 0) {
            std::snprintf(about, size, "%s", name);
            break;
        }
    }
    RegCloseKey(key);
}

}  // namespace

int SerialPortPresent(const char* device) {
    HANDLE h = CreateFileA(device, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        CloseHandle(h);
        return 1;
    }
    switch (GetLastError()) {
        case ERROR_ACCESS_DENIED:      // 5: held by someone (also by us)
        case ERROR_GEN_FAILURE:        // 31: device not functioning
        case ERROR_SHARING_VIOLATION:  // 32
        case ERROR_SEM_TIMEOUT:        // 121
            return 1;
    }
    return 0;
}

int ListSerialPorts(SerialPortEntry* entries, int max) {
    int n = 0;
    for (int32_t port = 1; port <= kHighestPort && n < max; ++port) {
        char device[16];
        SerialDeviceName(port, device, sizeof device);
        if (!SerialPortPresent(device)) continue;
        std::snprintf(entries[n].name, sizeof entries[n].name, "COM%d", static_cast<int>(port));
        DeviceBehind(port, entries[n].about, sizeof entries[n].about);
        ++n;
    }
    return n;
}
