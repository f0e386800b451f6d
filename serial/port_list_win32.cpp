#include <windows.h>
#include <setupapi.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "serial/device_instance_id.h"
#include "serial/port_list.h"
#include "serial/serial_port.h"

namespace {

enum { kHighestPort = 256 };

// The device setup class of serial and parallel ports.
const GUID kPortsClass = {0x4d36e978, 0xe325, 0x11ce, {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};

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

// What the setup information of the port device named COMn tells: its
// friendly name ("USB Serial Port (COM5)"), the USB adapter's ids and serial
// number from its instance id, and its driver's latency timer where the
// driver keeps one in the device's parameters (FTDI's "LatencyTimer").
void FromSetupInformation(SerialPortEntry* entries, int n) {
    HDEVINFO set = SetupDiGetClassDevsA(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT);
    if (set == INVALID_HANDLE_VALUE) return;
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof device;
    for (DWORD i = 0; SetupDiEnumDeviceInfo(set, i, &device); ++i) {
        HKEY parameters = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
        if (parameters == INVALID_HANDLE_VALUE) continue;
        char portName[32] = "";
        DWORD size = sizeof portName - 1, type = 0, latency = 0;
        bool named = RegQueryValueExA(parameters, "PortName", nullptr, &type, reinterpret_cast<BYTE*>(portName),
                                      &size) == ERROR_SUCCESS && type == REG_SZ;
        portName[named ? size : 0] = '\0';
        size = sizeof latency;
        bool timed = RegQueryValueExA(parameters, "LatencyTimer", nullptr, &type, reinterpret_cast<BYTE*>(&latency),
                                      &size) == ERROR_SUCCESS && type == REG_DWORD;
        RegCloseKey(parameters);
        SerialPortEntry* entry = nullptr;
        for (int k = 0; k < n && named; ++k)
            if (_stricmp(entries[k].name, portName) == 0) entry = &entries[k];
        if (entry == nullptr) continue;

        // As on Linux: what it is, then the adapter's ids and serial number.
        std::string about;
        char friendly[256];
        if (SetupDiGetDeviceRegistryPropertyA(set, &device, SPDRP_FRIENDLYNAME, &type,
                                              reinterpret_cast<BYTE*>(friendly), sizeof friendly - 1, nullptr) &&
            type == REG_SZ) {
            friendly[sizeof friendly - 1] = '\0';
            about = friendly;
        } else {
            about = entry->about;
        }
        char id[256];
        UsbIdentity who;
        if (SetupDiGetDeviceInstanceIdA(set, &device, id, sizeof id, nullptr) && ParseDeviceInstanceId(id, &who)) {
            std::snprintf(entry->vendorId, sizeof entry->vendorId, "%s", who.vendorId);
            std::snprintf(entry->productId, sizeof entry->productId, "%s", who.productId);
            std::snprintf(entry->serial, sizeof entry->serial, "%s", who.serial);
            about += (about.empty() ? "" : ", ") + std::string("USB ") + who.vendorId + ":" + who.productId;
            if (who.serial[0]) about += std::string(", serial ") + who.serial;
        }
        if (timed) {
            entry->latencyMs = static_cast<int>(latency);
            about += ", latency timer " + std::to_string(latency) + " ms";
        }
        std::snprintf(entry->about, sizeof entry->about, "%s", about.c_str());
    }
    SetupDiDestroyDeviceInfoList(set);
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
        entries[n] = SerialPortEntry{};
        std::snprintf(entries[n].name, sizeof entries[n].name, "COM%d", static_cast<int>(port));
        DeviceBehind(port, entries[n].about, sizeof entries[n].about);
        ++n;
    }
    FromSetupInformation(entries, n);
    return n;
}
