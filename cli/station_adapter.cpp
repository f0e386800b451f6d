#include "cli/station_adapter.h"

#include <cctype>
#include <vector>

#include "cli/port_select.h"
#include "core/platform.h"
#include "serial/port_list.h"

namespace {

// A Windows device's name without its \\.\ and in capitals: COM12.
std::string Plain(const std::string& name) {
    std::string out = name.compare(0, 4, "\\\\.\\") == 0 ? name.substr(4) : name;
    for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return out;
}

}  // namespace

PortAdapter AdapterOfPort(const std::string& port) {
    PortAdapter adapter;
    std::vector<SerialPortEntry> entries(512);
    int n = ListSerialPorts(entries.data(), static_cast<int>(entries.size()));
    char device[600];
    CliPortDevice(port.c_str(), device, sizeof device);
    const std::string bySerial = port.compare(0, 7, "serial=") == 0 ? port.substr(7) : "";
    for (int i = 0; i < n; ++i) {
        const SerialPortEntry& e = entries[i];
        bool same = bySerial.empty() ? Plain(e.name) == Plain(device) || Plain(e.name) == Plain(port) ||
                                           (e.byId[0] && port == e.byId) || PlatformSameFile(e.name, device)
                                     : bySerial == e.serial;
        if (!same) continue;
        adapter.vendorId = e.vendorId;
        adapter.productId = e.productId;
        adapter.serial = e.serial;
        adapter.latencyMs = e.latencyMs;
        break;
    }
    return adapter;
}

int PortPresent(const std::string& port) {
    char device[600];
    CliPortDevice(port.c_str(), device, sizeof device);
    return SerialPortPresent(device);
}
