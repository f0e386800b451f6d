// The keyer channel: the overlapped serial connection to the ZQ3 keyer IC.
// keyer_channel.cpp opens and closes it; the platform files
// (keyer_channel_posix.cpp, keyer_channel_win32.cpp, keyer_channel_web.cpp)
// move its bytes.
#pragma once
#include <cstdint>

#include "serial/serial_port.h"

// KeyerOpen results: the steps of the port's open (serial/port_open.h).
enum {
    kKeyerOpenFailed = kSerialOpenFailed,
    kKeyerGetStateFailed = kSerialGetStateFailed,
    kKeyerSetStateFailed = kSerialSetStateFailed,
    kKeyerPurgeFailed = kSerialPurgeFailed,
};

enum { kKeyerWriteWaitMs = 2000, kKeyerReadWaitMs = 4000 };

// The port's own read timeout, behind the channel's waits.
enum { kKeyerPortReadTimeoutMs = 4500 };

// The channel's speed from its open on, and the speed at which the IC's
// loader takes the records.
enum { kKeyerBaud = 1200, kKeyerRecordBaud = 9600 };

// Opens COM<port> at 1200 baud 8N1, DTR asserted. The handle is kept (and
// portOpen set) as soon as the open succeeds, also when a later step fails.
int KeyerOpen(int32_t port);

// The same for a device named by its path; KeyerOpen opens
// SerialComDevice(port) with it. The reason behind a failure to open is in
// LastPortFault() (serial/port_fault.h).
int KeyerOpenDevice(const char* device);

// 1 when all count bytes went out within the wait, else 0. Every command
// is one write; when a read has given up since the last one, whatever came
// in meanwhile is dropped first: a late reply to that read is not this
// command's.
int KeyerWrite(const uint8_t* bytes, uint32_t count);

// 1 when exactly count bytes arrived within the wait, else 0.
int KeyerRead(uint8_t* buffer, uint32_t count);

// The same with a wait of its own, for a reply that comes at once or not at
// all.
int KeyerReadWithin(uint8_t* buffer, uint32_t count, uint32_t waitMs);

// Drops whatever the line has brought that no command asked for (noise, a
// late reply, the tail of a reply cut short), before a new exchange begins
// on a channel that stays open. Nothing is sent.
void KeyerDiscardInput();

// The bytes that have come in and that no read has taken yet (0 when the
// system cannot tell). Nothing the IC sent before a command went out can
// be that command's reply.
uint32_t KeyerInputWaiting();

// The line's speed now: kKeyerBaud from the open on, until KeyerSetSpeed
// changes it; 0 when the channel is closed.
uint32_t KeyerLineSpeed();

// Changes only the line speed. 1 on success, 0 on failure.
int KeyerSetSpeed(uint32_t baud);

// Closes the channel if open; always clears keyerHandle and portOpen.
void KeyerClose();
