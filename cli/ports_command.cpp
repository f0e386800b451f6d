#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "serial/port_list.h"

int RunPorts() {
    std::vector<SerialPortEntry> ports(512);
    int n = ListSerialPorts(ports.data(), static_cast<int>(ports.size()));
    if (n == 0) {
        Complain("ridorez: no serial ports found");
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
