// A run's exchanges on the line, and the time they take: on the wire (each
// byte ten bits at the line's speed, plus the pauses the protocol makes
// the host wait), and behind a USB serial adapter that passes the device's
// bytes on in packets of 62, each sent when it is full or when the
// adapter's latency timer runs out. A reply shorter than a packet (or the
// tail of a longer one) waits for the timer's next tick: with a 16 ms timer
// that is most of an exchange's time on a fast line.
#pragma once
#include <cstdint>
#include <vector>

enum { kAdapterPacketBytes = 62 };

// One request and its reply.
struct LineExchange {
    uint32_t baud;
    uint32_t requestBytes;  // host to device, as they go on the wire
    uint32_t replyBytes;    // device to host; 0: the host awaits none
    double pauseSeconds;    // the host's prescribed wait after the exchange
};

typedef std::vector<LineExchange> LinePlan;

// The seconds plan takes with the device answering at once and the host
// sending at once: behind an adapter whose latency timer is latencyMs, or
// on a plain wire with latencyMs 0.
double LinePlanSeconds(const LinePlan& plan, int latencyMs);
