#include "serial/line_plan.h"

#include <cmath>

#include "serial/line_time.h"

double LinePlanSeconds(const LinePlan& plan, int latencyMs) {
    const double period = latencyMs / 1000.0;
    double now = 0;
    // The adapter's timer starts again with every packet it sends, and an
    // idle adapter sends an empty one at every expiry: its ticks keep the
    // step of the last packet.
    double lastPacket = 0;
    for (const LineExchange& e : plan) {
        const double byte = LineSeconds(1, e.baud);
        now += e.requestBytes * byte;
        if (e.replyBytes > 0) {
            double start = now;
            now += e.replyBytes * byte;
            if (period > 0) {
                uint32_t full = e.replyBytes / kAdapterPacketBytes;
                if (full > 0) lastPacket = start + full * kAdapterPacketBytes * byte;
                if (e.replyBytes % kAdapterPacketBytes != 0)
                    now = lastPacket + (std::floor((now - lastPacket) / period) + 1) * period;
            }
        }
        now += e.pauseSeconds;
    }
    return now;
}
