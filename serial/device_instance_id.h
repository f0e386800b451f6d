// What a Windows device instance id tells of a USB serial adapter:
// "USB\VID_0403&PID_6001\A50285BI", or the id the adapter's own bus driver
// gives its port, "FTDIBUS\VID_0403+PID_6001+A50285BIA\0000", where the
// driver has put the port's letter (A, B, ...) after the serial number.
// Portable, so that the rules are tested on every system.
#pragma once
#include <cstddef>

struct UsbIdentity {
    char vendorId[8];
    char productId[8];
    char serial[128];  // "" where the id holds no serial number of the adapter
};

// Fills who from id; returns 1 when id names a USB vendor and product,
// else 0 (who is then empty).
int ParseDeviceInstanceId(const char* id, UsbIdentity* who);
