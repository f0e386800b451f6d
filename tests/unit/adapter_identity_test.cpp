#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "serial/device_instance_id.h"
#include "serial/io_registry.h"
#include "serial/port_list.h"

// What the system tells of a USB serial adapter behind a port, and what
// `ports` and serial= take from it.

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

namespace {

// On macOS: the registry as ioreg writes it. A hub with an FTDI adapter
// and a CDC device without a serial number; the adapter is listed again as
// a tree of its own, as ioreg lists every USB device that matches.
const char kRegistry[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<array>
	<dict>
		<key>IOObjectClass</key><string>IOUSBHostDevice</string>
		<key>USB Product Name</key><string>USB2.0 Hub</string>
		<key>USB Serial Number</key><string>HUB0001</string>
		<key>bDeviceClass</key><integer>9</integer>
		<key>idProduct</key><integer>2082</integer>
		<key>idVendor</key><integer>1507</integer>
		<key>IORegistryEntryChildren</key>
		<array>
			<dict>
				<key>IOObjectClass</key><string>AppleUSB20Hub</string>
				<key>IORegistryEntryChildren</key>
				<array>
					<dict>
						<key>IOObjectClass</key><string>IOUSBHostDevice</string>
						<key>USB Product Name</key><string>FT232R USB UART</string>
						<key>USB Vendor Name</key><string>FTDI</string>
						<key>USB Serial Number</key><string>A50285BI</string>
						<key>bDeviceClass</key><integer>0</integer>
						<key>idProduct</key><integer>24577</integer>
						<key>idVendor</key><integer>1027</integer>
						<key>IOCFPlugInTypes</key>
						<dict>
							<key>9dc7b780-9ec0-11d4-a54f-000a27052861</key><string>IOUSBHostFamily.kext/Contents/PlugIns/IOUSBLib.bundle</string>
						</dict>
						<key>Bus Power Available</key><integer>250</integer>
						<key>kUSBSerialNumberString</key><string>A50285BI</string>
						<key>IORegistryEntryChildren</key>
						<array>
							<dict>
								<key>IOObjectClass</key><string>IOUSBHostInterface</string>
								<key>bInterfaceNumber</key><integer>0</integer>
								<key>idProduct</key><integer>24577</integer>
								<key>idVendor</key><integer>1027</integer>
								<key>IORegistryEntryChildren</key>
								<array>
									<dict>
										<key>IOObjectClass</key><string>AppleUSBFTDI</string>
										<key>IOProbeScore</key><integer>10000</integer>
										<key>idProduct</key><integer>24577</integer>
										<key>idVendor</key><integer>1027</integer>
										<key>IORegistryEntryChildren</key>
										<array>
											<dict>
												<key>IOCalloutDevice</key><string>/dev/cu.usbserial-A50285BI</string>
												<key>IODialinDevice</key><string>/dev/tty.usbserial-A50285BI</string>
												<key>IOObjectClass</key><string>IOSerialBSDClient</string>
												<key>IOTTYBaseName</key><string>usbserial-</string>
												<key>IOTTYSuffix</key><string>A50285BI</string>
											</dict>
										</array>
									</dict>
								</array>
							</dict>
						</array>
					</dict>
					<dict>
						<key>IOObjectClass</key><string>IOUSBHostDevice</string>
						<key>bDeviceClass</key><integer>239</integer>
						<key>idProduct</key><integer>10</integer>
						<key>idVendor</key><integer>11914</integer>
						<key>kUSBProductString</key><string>Serial &amp; Debug</string>
						<key>kUSBVendorString</key><string>Raspberry Pi</string>
						<key>USB Address</key><integer>3</integer>
						<key>IORegistryEntryChildren</key>
						<array>
							<dict>
								<key>IOObjectClass</key><string>IOUSBHostInterface</string>
								<key>bInterfaceNumber</key><integer>0</integer>
								<key>idVendor</key><integer>11914</integer>
								<key>IORegistryEntryChildren</key><array/>
							</dict>
							<dict>
								<key>IOObjectClass</key><string>IOUSBHostInterface</string>
								<key>bInterfaceNumber</key><integer>1</integer>
								<key>idVendor</key><integer>11914</integer>
								<key>IOUserClientCreator</key><data>AAECAw==</data>
								<key>IORegistryEntryChildren</key>
								<array>
									<dict>
										<key>IOObjectClass</key><string>AppleUSBACMData</string>
										<key>IOTTYBaseName</key><string>usbmodem</string>
										<key>IORegistryEntryChildren</key>
										<array>
											<dict>
												<key>IOCalloutDevice</key><string>/dev/cu.usbmodem14201</string>
												<key>IOObjectClass</key><string>IOSerialBSDClient</string>
												<key>IOSerialBSDClientReady</key><true/>
											</dict>
										</array>
									</dict>
								</array>
							</dict>
						</array>
					</dict>
				</array>
			</dict>
		</array>
	</dict>
	<dict>
		<key>IOObjectClass</key><string>IOUSBHostDevice</string>
		<key>USB Product Name</key><string>FT232R USB UART</string>
		<key>USB Vendor Name</key><string>FTDI</string>
		<key>USB Serial Number</key><string>A50285BI</string>
		<key>bDeviceClass</key><integer>0</integer>
		<key>idProduct</key><integer>24577</integer>
		<key>idVendor</key><integer>1027</integer>
		<key>IORegistryEntryChildren</key>
		<array>
			<dict>
				<key>IOCalloutDevice</key><string>/dev/cu.usbserial-A50285BI</string>
				<key>IOObjectClass</key><string>IOSerialBSDClient</string>
			</dict>
		</array>
	</dict>
</array>
</plist>
)";

std::vector<SerialPortEntry> MacPorts() {
    std::vector<SerialPortEntry> ports(3);
    const char* names[] = {"/dev/cu.usbserial-A50285BI", "/dev/cu.usbmodem14201", "/dev/cu.debug-console"};
    for (size_t i = 0; i < ports.size(); ++i) std::snprintf(ports[i].name, sizeof ports[i].name, "%s", names[i]);
    return ports;
}

}  // namespace

// Each /dev/cu.* by its USB device: the adapter's ids, serial number and
// names, not those of the hub it is on nor of the interface or driver
// between them; a port that is no USB device's stays as it was.
TEST(IoRegistry, PortsByTheirUsbDevices) {
    std::vector<SerialPortEntry> ports = MacPorts();
    EXPECT_EQ(AboutFromIoRegistry(kRegistry, ports.data(), 3), 2);
    struct Want {
        const char* vendor;
        const char* product;
        const char* serial;
        const char* about;
    } want[] = {
        {"0403", "6001", "A50285BI", "FTDI FT232R USB UART, USB 0403:6001, serial A50285BI"},
        {"2e8a", "000a", "", "Raspberry Pi Serial & Debug, USB 2e8a:000a"},
        {"", "", "", ""},
    };
    for (size_t i = 0; i < ports.size(); ++i) {
        EXPECT_EQ(std::string(ports[i].vendorId), want[i].vendor) << ports[i].name;
        EXPECT_EQ(std::string(ports[i].productId), want[i].product) << ports[i].name;
        EXPECT_EQ(std::string(ports[i].serial), want[i].serial) << ports[i].name;
        EXPECT_EQ(std::string(ports[i].about), want[i].about) << ports[i].name;
    }

    // ioreg cut short after the adapter's port: nothing is taken from half
    // a registry.
    std::vector<SerialPortEntry> cut = MacPorts();
    std::string whole = kRegistry;
    std::string half = whole.substr(0, whole.rfind('\n', whole.find("/dev/cu.usbmodem14201")) + 1);
    EXPECT_EQ(AboutFromIoRegistry(half, cut.data(), 3), 0);
    EXPECT_EQ(std::string(cut[0].serial), "");
    EXPECT_EQ(std::string(cut[0].about), "");
}
