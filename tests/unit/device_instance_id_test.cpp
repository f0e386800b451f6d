#include <gtest/gtest.h>

#include <string>

#include "serial/device_instance_id.h"

// The ids a USB serial adapter's port has on Windows, by the driver behind
// it, and what `ports` and serial= take from each.
TEST(DeviceInstanceId, AdaptersByTheirDrivers) {
    struct Case {
        const char* id;
        int usb;
        const char* vendor;
        const char* product;
        const char* serial;
    } cases[] = {
        // FTDI's own driver: the serial number, then the port's letter.
        {"FTDIBUS\\VID_0403+PID_6001+A50285BIA\\0000", 1, "0403", "6001", "A50285BI"},
        {"FTDIBUS\\VID_0403+PID_6010+FT4ZS6I5B\\0000", 1, "0403", "6010", "FT4ZS6I5"},
        // An adapter with no serial number: the system made up the instance.
        {"FTDIBUS\\VID_0403+PID_6001+5&2C1F3A&0&2A\\0000", 1, "0403", "6001", ""},
        {"USB\\VID_1A86&PID_7523\\5&13D1D2F4&0&2", 1, "1a86", "7523", ""},
        // The system's USB serial driver, and a vendor's, with the number.
        {"USB\\VID_2341&PID_0043\\85736323838351F0E1C1", 1, "2341", "0043", "85736323838351F0E1C1"},
        {"usb\\vid_10c4&pid_ea60\\0001", 1, "10c4", "ea60", "0001"},
        // One interface of a composite device.
        {"USB\\VID_2E8A&PID_000A&MI_00\\6&1F2A3B&0&0000", 1, "2e8a", "000a", ""},
        // Not USB at all, and nonsense.
        {"ACPI\\PNP0501\\1", 0, "", "", ""},
        {"USB\\VID_12&PID_0043\\X", 0, "", "", ""},
        {"", 0, "", "", ""},
    };
    for (const Case& c : cases) {
        UsbIdentity who;
        EXPECT_EQ(ParseDeviceInstanceId(c.id, &who), c.usb) << c.id;
        EXPECT_EQ(std::string(who.vendorId), c.vendor) << c.id;
        EXPECT_EQ(std::string(who.productId), c.product) << c.id;
        EXPECT_EQ(std::string(who.serial), c.serial) << c.id;
    }
}
