// The keyer channel in the page, over the port the user chose. Transfers are
// bounded by the same waits as on Windows; a read copies its bytes only when
// it returns, so a byte that comes late stays queued, and the next command
// drops it before it goes out.
#include "core/app_state.h"
#include "serial/port_open.h"
#include "serial/port_web.h"
#include "zq3/keyer_channel.h"

namespace {
WebPort* Port() { return static_cast<WebPort*>(AppState.keyerHandle); }
bool readGaveUp = false;  // a reply may still come late for the last read
uint32_t lineSpeed = 0;   // the speed the line was opened or set to last
}  // namespace

int KeyerOpen(int32_t) { return KeyerOpenDevice(""); }

int KeyerOpenDevice(const char* device) {
    PortCloseLine(AppState.keyerHandle);
    AppState.keyerHandle = nullptr;
    readGaveUp = false;
    int result = PortOpenLine(device, PortLine{kKeyerBaud, kKeyerPortReadTimeoutMs, 1}, &AppState.keyerHandle);
    if (AppState.keyerHandle != nullptr) AppState.portOpen = 1;
    lineSpeed = kKeyerBaud;
    return result;
}

int KeyerWrite(const uint8_t* bytes, uint32_t count) {
    WebPort* port = Port();
    if (port == nullptr) return 0;
    if (readGaveUp) KeyerDiscardInput();
    uint32_t written = 0;
    return WebLineWrite(port->line, bytes, count, kKeyerWriteWaitMs, &written) && written == count;
}

int KeyerRead(uint8_t* buffer, uint32_t count) { return KeyerReadWithin(buffer, count, kKeyerReadWaitMs); }

int KeyerReadWithin(uint8_t* buffer, uint32_t count, uint32_t waitMs) {
    WebPort* port = Port();
    if (port == nullptr) return 0;
    uint32_t got = 0;
    int result = WebLineRead(port->line, buffer, count, waitMs, &got) && got == count;
    if (!result) readGaveUp = true;
    return result;
}

int KeyerSetSpeed(uint32_t baud) {
    WebPort* port = Port();
    if (port == nullptr) return 0;
    int ok = WebLineSetSpeed(port->line, baud);
    if (ok) lineSpeed = baud;
    return ok;
}

void KeyerDiscardInput() {
    WebPort* port = Port();
    if (port == nullptr) return;
    WebLinePurge(port->line);
    readGaveUp = false;
}

uint32_t KeyerInputWaiting() { return PortQueuedBytes(AppState.keyerHandle); }

uint32_t KeyerLineSpeed() { return Port() == nullptr ? 0 : lineSpeed; }

void KeyerClose() {
    PortCloseLine(AppState.keyerHandle);
    AppState.keyerHandle = nullptr;
    AppState.portOpen = 0;
}
