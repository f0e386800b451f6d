// What the macOS I/O registry tells of the serial ports of USB devices, read
// from the XML property list `ioreg -a -l -r -c IOUSBHostDevice` writes: an
// array of USB devices, each a dict of the device's properties (idVendor,
// idProduct, bDeviceClass, "USB Serial Number", "USB Product Name", ...)
// and of its children (IORegistryEntryChildren: interfaces, drivers, ...),
// a port's call-out device (IOCalloutDevice, "/dev/cu.usbserial-A50285BI")
// in a dict somewhere below its device.
// Portable, so that the rules are tested on every system.
#pragma once
#include <string>

#include "serial/port_list.h"

// The command that writes it, as port_list_posix.cpp runs it on macOS.
extern const char kIoRegistryCommand[];

// Fills in the USB ids, the serial number and about ("FTDI FT232R USB UART,
// USB 0403:6001, serial A50285BI", as on Linux) of each of the n entries
// whose name is a port's call-out device in xml; the others stay as they
// are, and so do all when xml is no whole property list (ioreg cut short).
// Returns the number of entries filled in.
int AboutFromIoRegistry(const std::string& xml, SerialPortEntry* entries, int n);
