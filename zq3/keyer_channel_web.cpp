// The keyer channel in the page, over the port the user chose. Transfers are
// bounded by the same waits as on Windows; a read copies its bytes only when
// it returns, so a byte that comes late stays queued, for the next command
// to drop (keyer_channel.cpp).
#include "core/app_state.h"
#include "serial/port_web.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_line.h"

namespace {
WebPort* Port() { return static_cast<WebPort*>(AppState.keyerHandle); }
}  // namespace

int KeyerLineWrite(const uint8_t* bytes, uint32_t count, uint32_t waitMs) {
    uint32_t written = 0;
    return WebLineWrite(Port()->line, bytes, count, waitMs, &written) && written == count;
}

int KeyerLineRead(uint8_t* buffer, uint32_t count, uint32_t waitMs) {
    uint32_t got = 0;
    return WebLineRead(Port()->line, buffer, count, waitMs, &got) && got == count;
}

void KeyerLinePurge() { WebLinePurge(Port()->line); }

int KeyerSetSpeed(uint32_t baud) {
    WebPort* port = Port();
    if (port == nullptr) return 0;
    int ok = WebLineSetSpeed(port->line, baud);
    if (ok) port->baud = baud;
    return ok;
}

uint32_t KeyerLineSpeed() { return Port() == nullptr ? 0 : Port()->baud; }
