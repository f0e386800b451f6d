// The synchronous serial channel: open, close and raw one-call transfers.
// The open and close are portable (serial_channel.cpp, over port_open.h);
// serial_win32.cpp does the transfers over the Win32 communications API,
// serial_posix.cpp over termios, serial_web.cpp over the page's port.
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

// The same for a device named by its path (/dev/ttyUSB0, \\.\COM12): SerialOpen
// opens SerialComDevice(port) with it. The reason behind a failure to open
// is in LastPortFault() (port_fault.h).
int32_t SerialOpenDevice(const char* device, uint32_t baud, uint32_t readTimeoutMs);

// Releases AppState.portHandle if one is held. Leaves portOpen as it is.
void SerialClose();

// For a program that ends without closing its ports (interrupted in the
// middle of a run): gives up the exclusive hold on every port open on
// either channel, so that the next program can open them. Safe to call
// from a signal handler.
void SerialAbandonPorts();

// One read: waits until count bytes arrived or the port's read timeout passed
// since the call began. Returns 1 when the call succeeded (*got may be less
// than count, even 0), 0 when it failed. Bytes that have already arrived are
// taken from the receive queue together, in one system call, and kept for
// the next reads (read_ahead.cpp), so a frame read byte by byte does not
// cost one system call per byte.
int PortRead(PortHandle port, uint8_t* buffer, uint32_t count, uint32_t* got);

// One write call. Returns 1 when every byte went out, 0 when it failed. A
// write has PortWriteLimitMs to finish; a line that stops taking bytes (an
// adapter that no longer drains, a peer that stopped reading) fails it as a
// lost port does (kPortGone), and so does a short write.
// A write starts a new exchange, so it ends what PortExpect announced.
int PortWrite(PortHandle port, const uint8_t* bytes, uint32_t count, uint32_t* written);

// Throws away every byte that has arrived and that no read has taken yet:
// those kept by the read-ahead and those waiting in the port's receive queue
// (noise, the tail of a reply cut short, a reply that came too late), so that
// the next exchange reads only its own reply. Sends nothing.
void PortDiscardInput(PortHandle port);

// The bytes that have arrived and that no read has taken yet: those the
// read-ahead keeps and those waiting in the port's receive queue. Before a
// request goes out, none of them can be its reply.
uint32_t PortInputWaiting(PortHandle port);

// What a write of count bytes at baud may take: their time on the line and
// kPortWriteMarginMs for the system and the adapter.
enum { kPortWriteMarginMs = 1000 };
inline uint32_t PortWriteLimitMs(uint32_t count, uint32_t baud) {
    return static_cast<uint32_t>(baud ? uint64_t(count) * 10 * 1000 / baud : 0) + kPortWriteMarginMs;
}

// Announces that at least count more bytes are on their way (a reply whose
// shortest good form is count bytes). Until the next write, a read that finds
// nothing kept then waits for up to count bytes in one system call and keeps
// those it was not asked for. Each read still returns the bytes it would have
// had anyway; only a reply shorter than announced is seen later, when that
// call's read timeout has passed, and the reads after it wait for their own
// bytes only.
void PortExpect(PortHandle port, uint32_t count);

// The system's side of the channel, one per platform (serial_win32.cpp,
// serial_posix.cpp), under PortRead, PortWrite and PortExpect:
// one system read call with PortRead's meaning,
int PortSystemRead(PortHandle port, uint8_t* buffer, uint32_t count, uint32_t* got);
// one system write call,
int PortSystemWrite(PortHandle port, const uint8_t* bytes, uint32_t count, uint32_t* written);
// the number of bytes waiting in the port's receive queue now (0 when unknown),
uint32_t PortQueuedBytes(PortHandle port);
// a wait for as long as count bytes take on the line at the port's speed,
// before a read of bytes that cannot have arrived sooner (nothing where a
// pending read costs nothing per byte),
void PortAwaitLine(PortHandle port, uint32_t count);
// and the port's read-ahead (null for no port). Opening, closing and purging
// the port empty it.
struct ReadAhead;
ReadAhead* PortReadAheadOf(PortHandle port);

// The Windows device name of COM<port>: "COM%d" below 10, "\\.\COM%d" from 10.
void SerialDeviceName(int32_t port, char* name, size_t size);

// The device that COM<port> is on this platform: the Windows device name on
// Windows, SerialDeviceDir()/com<port> elsewhere.
void SerialComDevice(int32_t port, char* device, size_t size);

// The device of a port as a user names it: COM<n> (any case) is the device
// of COM<n>, as SerialComDevice gives it; any other name is the device's own.
void SerialPortDevice(const char* name, char* device, size_t size);

// POSIX only: the folder whose com<n> entries are the devices of COM<n>
// (the same layout as a Wine prefix's dosdevices folder). Also taken from
// the environment variable RIDOREZ_COM_DIR; the default is the user's own
// $XDG_RUNTIME_DIR/ridorez-com, else ~/.ridorez-com (com_folder.h says which
// folders and links are refused).
void SerialSetDeviceDir(const char* dir);
const char* SerialDeviceDir();
