// What the system tells of the adapter behind a station's or an update's
// port (serial/port_list.h): its USB ids, serial number and latency timer.
#pragma once
#include <string>

struct PortAdapter {
    std::string vendorId, productId, serial;  // "" where not known
    int latencyMs = -1;                        // -1 where the system keeps none
};

// The adapter of port as the user named it (a device, a link to one,
// serial=NUMBER, COMn); all fields unknown when the port is not listed.
PortAdapter AdapterOfPort(const std::string& port);

// 1 when the port's device is there now (a USB adapter is plugged in).
int PortPresent(const std::string& port);
