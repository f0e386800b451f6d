// The serial ports present on this machine, for a front end to list.
// port_list_posix.cpp finds them on Linux, macOS and FreeBSD,
// port_list_win32.cpp on Windows.
#pragma once

struct SerialPortEntry {
    char name[256];   // the port as a user names it: a device path, or COMn
    char about[256];  // what the system knows of it ("" when nothing)
    // A USB adapter's, where the system tells them (Linux, macOS, Windows);
    // "" otherwise.
    char vendorId[8] = "";    // "0403"
    char productId[8] = "";   // "6001"
    char serial[128] = "";    // what the adapter's label or its maker calls it
    char byId[256] = "";      // its stable /dev/serial/by-id name (Linux)
    // The adapter's latency timer in ms where its driver keeps one that a
    // program may read (an FTDI adapter's on Windows), else -1.
    int latencyMs = -1;
};

// Fills entries with up to max ports, in the order a user looks for them:
// Linux: ttyUSB*, ttyACM* (each with its /dev/serial/by-id name), the
// /dev/serial/by-id names of other devices, and the ttyS* that have a UART
// behind them; macOS: /dev/cu.* without the Bluetooth ones, each with what
// the I/O registry tells of its USB device (io_registry.h); FreeBSD:
// /dev/cuaU*, then /dev/cuau*; Windows: COM1 to COM256 where they exist,
// each with what the device's setup information tells of it (its friendly
// name, USB ids, serial number and latency timer). Also the COMn entries of
// the folder of COM ports, where one is in use (serial_port.h). Returns the
// number of entries filled.
int ListSerialPorts(SerialPortEntry* entries, int max);

// Whether the port device (the name CreateFileA or open takes) exists.
// Windows: it opens, or its open fails because it is busy or not ready
// rather than missing; the port dialog lists the ports for which this
// holds. POSIX: the device (through its links) is there.
int SerialPortPresent(const char* device);
