// The synchronous serial channel: open, close and raw one-call transfers.
// serial_win32.cpp implements it over the Win32 communications API,
// serial_posix.cpp over termios.
#pragma once
#include <cstddef>
#include <cstdint>

#include "core/platform.h"

// SerialOpen results.
enum {
    kSerialOpenFailed = -4,
    kSerialGetStateFailed = -5,
    kSerialSetStateFailed = -6,
    kSerialGetTimeoutsFailed = -7,
    kSerialSetTimeoutsFailed = -8,
    kSerialPurgeFailed = -11,
};

// Opens COM<port> at baud, 8N1, no flow control, DTR and RTS off, with a read
// that returns when all bytes asked for arrived or readTimeoutMs after it
// began. On success AppState.portHandle holds the port and portOpen is 1.
int32_t SerialOpen(int32_t port, uint32_t baud, uint32_t readTimeoutMs);

// Releases AppState.portHandle if one is held. Leaves portOpen as it is.
void SerialClose();

// One read call: waits until count bytes arrived or the port's read timeout
// passed since the call began. Returns 1 when the call succeeded (*got may be
// less than count, even 0), 0 when it failed.
int PortRead(PortHandle port, uint8_t* buffer, uint32_t count, uint32_t* got);

// One write call. Returns 1 when the call succeeded, 0 when it failed.
int PortWrite(PortHandle port, const uint8_t* bytes, uint32_t count, uint32_t* written);

// The Windows device name of COM<port>: "COM%d" below 10, "\\.\COM%d" from 10.
void SerialDeviceName(int32_t port, char* name, size_t size);

// POSIX only: the folder whose com<n> entries are the devices of COM<n>
// (the same layout as a Wine prefix's dosdevices folder). Also taken from
// the environment variable RIDOREZ_COM_DIR; the default is /tmp/ridorez-com.
void SerialSetDeviceDir(const char* dir);
const char* SerialDeviceDir();
