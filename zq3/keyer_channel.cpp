// The keyer channel's portable side: the open and the close, and the rule
// for a reply that comes late. A read that gave up may still get its reply
// afterwards; the next command drops whatever came in meanwhile before it
// goes out, so that it never reads that late reply as its own. The platform
// files (keyer_channel_posix.cpp, keyer_channel_win32.cpp,
// keyer_channel_web.cpp) move the bytes.
#include "zq3/keyer_channel.h"

#include "core/app_state.h"
#include "serial/port_open.h"
#include "zq3/keyer_line.h"

namespace {
bool readGaveUp = false;  // a reply may still come late for the last read
}  // namespace

int KeyerOpen(int32_t port) {
    char device[600];
    SerialComDevice(port, device, sizeof device);
    return KeyerOpenDevice(device);
}

int KeyerOpenDevice(const char* device) {
    // A port still held would otherwise stay open behind the new one, and
    // the device would refuse the new open as busy.
    PortCloseLine(AppState.keyerHandle);
    AppState.keyerHandle = nullptr;
    readGaveUp = false;
    int result = PortOpenLine(device, PortLine{kKeyerBaud, kKeyerPortReadTimeoutMs, 1}, &AppState.keyerHandle);
    if (AppState.keyerHandle != nullptr) AppState.portOpen = 1;
    return result;
}

int KeyerWrite(const uint8_t* bytes, uint32_t count) {
    if (AppState.keyerHandle == nullptr) return 0;
    if (readGaveUp) KeyerDiscardInput();
    return KeyerLineWrite(bytes, count, kKeyerWriteWaitMs);
}

int KeyerRead(uint8_t* buffer, uint32_t count) { return KeyerReadWithin(buffer, count, kKeyerReadWaitMs); }

int KeyerReadWithin(uint8_t* buffer, uint32_t count, uint32_t waitMs) {
    if (AppState.keyerHandle == nullptr) return 0;
    int result = KeyerLineRead(buffer, count, waitMs);
    if (!result) readGaveUp = true;
    return result;
}

void KeyerDiscardInput() {
    if (AppState.keyerHandle == nullptr) return;
    KeyerLinePurge();
    readGaveUp = false;
}

uint32_t KeyerInputWaiting() { return PortQueuedBytes(AppState.keyerHandle); }

void KeyerClose() {
    PortCloseLine(AppState.keyerHandle);
    AppState.keyerHandle = nullptr;
    AppState.portOpen = 0;
}
