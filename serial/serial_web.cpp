// The synchronous channel in the page, over the port the user chose.
#include "serial/port_web.h"
#include "serial/read_ahead.h"
#include "serial/serial_port.h"

// The page has one port, the one chosen in the browser, whatever COM
// number the window shows.
int32_t SerialOpen(int32_t, uint32_t baud, uint32_t readTimeoutMs) { return SerialOpenDevice("", baud, readTimeoutMs); }

// The browser lets go of the port when the page goes.
void SerialAbandonPorts() {}

void SerialSetDeviceDir(const char*) {}
const char* SerialDeviceDir() { return ""; }

int PortSystemRead(PortHandle handle, uint8_t* buffer, uint32_t count, uint32_t* got) {
    WebPort* port = static_cast<WebPort*>(handle);
    *got = 0;
    if (port == nullptr) return 0;
    return WebLineRead(port->line, buffer, count, port->readTimeoutMs, got);
}

int PortSystemWrite(PortHandle handle, const uint8_t* bytes, uint32_t count, uint32_t* written) {
    WebPort* port = static_cast<WebPort*>(handle);
    *written = 0;
    if (port == nullptr) return 0;
    return WebLineWrite(port->line, bytes, count, PortWriteLimitMs(count, port->baud), written);
}

// A read waits in the browser until all its bytes came: nothing per byte.
void PortAwaitLine(PortHandle, uint32_t) {}

uint32_t PortQueuedBytes(PortHandle handle) {
    WebPort* port = static_cast<WebPort*>(handle);
    return port == nullptr ? 0 : WebLineQueued(port->line);
}

ReadAhead* PortReadAheadOf(PortHandle handle) {
    WebPort* port = static_cast<WebPort*>(handle);
    return port == nullptr ? nullptr : &port->readAhead;
}
