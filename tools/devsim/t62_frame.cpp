#include "tools/devsim/t62_frame.h"

namespace {

bool NeedsEscape(uint8_t b) { return b == 0x04 || b == 0x05 || b == 0x55; }

void Restart(FrameReader* reader, int need) {
    reader->need = need;
    reader->escaped = false;
    reader->overlong = false;
    reader->body.clear();
}

}  // namespace

FrameResult FrameReaderFeed(FrameReader* reader, uint8_t byte, std::vector<uint8_t>* payload) {
    if (reader->need > 0) {
        reader->need = byte == 0x55 ? reader->need - 1 : 2;
        return kFrameIncomplete;
    }
    if (!reader->escaped) {
        if (byte == 0x55) {
            Restart(reader, 1);
            return kFrameIncomplete;
        }
        if (byte == 0x05) {
            reader->escaped = true;
            return kFrameIncomplete;
        }
        if (byte == 0x04) {
            FrameResult result = kFrameGood;
            uint8_t sum = 0;
            for (uint8_t b : reader->body) sum = static_cast<uint8_t>(sum + b);
            if (reader->overlong) {
                result = kFrameOverlong;
            } else if (reader->body.empty() || sum != 0) {
                result = kFrameBadChecksum;
            } else {
                payload->assign(reader->body.begin(), reader->body.end() - 1);
            }
            Restart(reader, 2);
            return result;
        }
    }
    reader->escaped = false;
    if (reader->body.size() < kFrameBodyMax) {
        reader->body.push_back(byte);
    } else {
        reader->overlong = true;
    }
    return kFrameIncomplete;
}

std::vector<uint8_t> BuildFrame(const std::vector<uint8_t>& payload, bool badChecksum) {
    std::vector<uint8_t> frame = {0x55, 0x55};
    uint8_t sum = 0;
    for (uint8_t b : payload) {
        if (NeedsEscape(b)) frame.push_back(0x05);
        frame.push_back(b);
        sum = static_cast<uint8_t>(sum + b);
    }
    uint8_t check = static_cast<uint8_t>(0x100 - sum);
    if (badChecksum) check = static_cast<uint8_t>(check + 1);
    if (NeedsEscape(check)) frame.push_back(0x05);
    frame.push_back(check);
    frame.push_back(0x04);
    return frame;
}
