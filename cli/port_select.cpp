#include "cli/port_select.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/console.h"
#include "serial/port_list.h"
#include "serial/serial_port.h"

namespace {

const char kSerialPrefix[] = "serial=";

bool BySerial(const char* port) { return std::strncmp(port, kSerialPrefix, sizeof kSerialPrefix - 1) == 0; }

std::vector<SerialPortEntry> WithSerial(const char* serial) {
    std::vector<SerialPortEntry> ports(512);
    int n = ListSerialPorts(ports.data(), static_cast<int>(ports.size()));
    std::vector<SerialPortEntry> found;
    for (int i = 0; i < n; ++i)
        if (ports[i].serial[0] && std::strcmp(ports[i].serial, serial) == 0) found.push_back(ports[i]);
    return found;
}

}  // namespace

void CliPortDevice(const char* port, char* device, size_t size) {
    if (!BySerial(port)) return SerialPortDevice(port, device, size);
    std::vector<SerialPortEntry> found = WithSerial(port + sizeof kSerialPrefix - 1);
    std::snprintf(device, size, "%s", found.size() == 1 ? found[0].name : port);
}

std::string PortSelectorRefusal(const std::string& port) {
    if (!BySerial(port.c_str())) return "";
    std::vector<SerialPortEntry> found = WithSerial(port.c_str() + sizeof kSerialPrefix - 1);
    if (found.size() == 1) return "";
    if (found.empty())
        return port + ": no adapter has that serial number (`" + std::string(kCliName) +
               " ports` lists the adapters with theirs)";
    std::string names;
    for (const SerialPortEntry& e : found) names += std::string(names.empty() ? "" : ", ") + e.name;
    return port + ": " + std::to_string(found.size()) + " adapters have that serial number (" + names +
           "): name one by its device or its /dev/serial/by-id name";
}
