#include <algorithm>
#include <string>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/console.h"
#include "cli/output.h"
#include "serial/port_list.h"

namespace {

std::string JsonText(const char* text) { return text[0] ? JsonString(text) : "null"; }

// The ports as one JSON object, each with what the system knows of it.
void PrintJson(const std::vector<SerialPortEntry>& ports, int n) {
    std::string out = "{\"ports\":[";
    for (int i = 0; i < n; ++i) {
        const SerialPortEntry& p = ports[i];
        out += std::string(i ? "," : "") + "{\"name\":" + JsonString(p.name) + ",\"about\":" + JsonText(p.about) +
               ",\"vendor_id\":" + JsonText(p.vendorId) + ",\"product_id\":" + JsonText(p.productId) +
               ",\"serial\":" + JsonText(p.serial) + ",\"by_id\":" + JsonText(p.byId) + "}";
    }
    std::printf("%s],\"exit\":%d}\n", out.c_str(), kExitDone);
}

}  // namespace

int RunPorts(const CliOptions& options) {
    std::vector<SerialPortEntry> ports(512);
    int n = ListSerialPorts(ports.data(), static_cast<int>(ports.size()));
    if (options.json) {
        PrintJson(ports, n);
        return kExitDone;
    }
    if (n == 0) {
        Complain("%s: no serial ports found", kCliName);
        return kExitDone;
    }
    size_t width = 0;
    for (int i = 0; i < n; ++i) width = std::max(width, std::strlen(ports[i].name));
    for (int i = 0; i < n; ++i) {
        if (ports[i].about[0])
            std::printf("%-*s  %s\n", static_cast<int>(width), ports[i].name, ports[i].about);
        else
            std::printf("%s\n", ports[i].name);
        // The name that stays the same whichever socket the adapter is in.
        if (ports[i].byId[0]) std::printf("%-*s  %s\n", static_cast<int>(width), "", ports[i].byId);
    }
    return kExitDone;
}
