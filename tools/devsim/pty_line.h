// The serial line: a pseudo-terminal whose slave the host opens through a
// symlink, with the line speed the host set and optional wire pacing.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "tools/devsim/transcript.h"

struct Adapter;

struct PtyLine {
    int master = -1;
    int slave = -1;  // our own descriptor: keeps the settings readable and the master free of EIO
    std::string slavePath;
    std::string link;
    bool linked = false;
    bool paced = false;
    size_t burst = 1;      // paced: a device's bytes reach the host this many at a time
    bool catchUp = false;  // paced: bytes after a late one keep the line's times
    bool noteLate = false; // paced: note how late a reply's last byte went out
    int64_t txNextNs = 0;  // earliest moment the next sent byte may go out
    int64_t rxLastNs = 0;  // when the previous received byte was taken
    int64_t firstSentNs = 0;  // paced: when the last LineSend handed its first bytes to the host
    Transcript* transcript = nullptr;
    int adapterLatencyMs = 0;    // a USB serial adapter's latency timer (adapter.h); 0: none
    Adapter* adapter = nullptr;  // the running adapter
};

// Opens the pseudo-terminal and makes its slave raw, and starts the adapter
// in front of it when there is one. Returns false (with a message on
// stderr) when that fails.
bool LineOpen(PtyLine* line);
// Points link at the slave (replacing whatever is there). Done last, when
// the simulator is ready to serve: whoever waits for the link may use it.
bool LinePublish(PtyLine* line, const char* link);
// Stops the adapter, removes the link and closes both descriptors.
void LineClose(PtyLine* line);

// The speed the host has set on the line, in baud (0 when unknown).
uint32_t LineBaud(const PtyLine* line);

// Time one byte takes on the wire at baud: 10 bits (start, 8 data, stop).
int64_t ByteTimeNs(uint32_t baud);

// When paced, waits until a byte read at readNs may be taken as arrived
// (one byte time after the previous one). Returns the moment it is taken.
int64_t LineTakeByte(PtyLine* line, int64_t readNs, uint32_t baud);

// Writes all count bytes to fd (the pseudo-terminal's master), waiting while
// the host does not read, up to 2 s at a time: false when it gave up.
bool LineWriteAll(int fd, const uint8_t* bytes, size_t count);

// Sends bytes from a device that talks at deviceBaud. Nothing goes out
// while the line is at another speed: the host cannot hear the device then.
// When paced each byte leaves one byte time after the previous one; with a
// burst of N they reach the host N at a time, each group once its last byte
// has had its time on the line (as a UART hands over its receive FIFO);
// with an adapter, it passes them on in its own time. A
// byte the simulator sends late delays the ones after it, or with catchUp
// they keep the times the line gives them from the reply's first byte. With
// noteLate, a reply whose last byte went out later than the first byte's
// time plus one byte time per byte is followed by a note: "late 310 us".
// Returns the number of bytes sent.
size_t LineSend(PtyLine* line, uint32_t deviceBaud, const uint8_t* bytes, size_t count);

// Sleeps until the monotonic clock reads atNs.
void SleepUntil(int64_t atNs);
