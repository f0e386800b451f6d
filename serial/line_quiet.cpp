#include "serial/line_quiet.h"

#include <chrono>

#include "core/platform.h"
#include "serial/line_time.h"

namespace {
const uint32_t kQuietCharacters = 3;
const uint32_t kQuietLeastMicros = 1000;
}  // namespace

uint32_t LineQuietMicros(uint32_t baud) {
    if (baud == 0) return kQuietLeastMicros;
    uint64_t micros = uint64_t(kQuietCharacters) * kLineBitsPerByte * 1000000 / baud;
    return micros < kQuietLeastMicros ? kQuietLeastMicros : static_cast<uint32_t>(micros);
}

uint32_t InputWithin(uint32_t (*waiting)(), uint32_t micros) {
    using Clock = std::chrono::steady_clock;
    const Clock::time_point end = Clock::now() + std::chrono::microseconds(micros);
    for (;;) {
        const Clock::time_point now = Clock::now();
        bool last = now >= end;
        uint32_t count = waiting();
        if (count > 0 || last) return count;
        auto left = std::chrono::duration_cast<std::chrono::microseconds>(end - now);
        PlatformGiveWayWithin(static_cast<uint32_t>(left.count()));
    }
}
