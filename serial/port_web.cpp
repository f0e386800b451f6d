// The one way both channels open the port in the page, and the transfers
// below them, over the page's Web Serial side (port_web.js).
#include "serial/port_web.h"

#include <emscripten.h>

#include "core/line_log.h"
#include "serial/port_fault.h"
#include "serial/port_open.h"
#include "serial/serial_port.h"

// Each of these waits for the browser.
EM_ASYNC_JS(int, WebJsOpen, (uint32_t baud, int dtr, int rts), {
    return await Module.webSerial.open(baud >>> 0, dtr != 0, rts != 0);
});
EM_ASYNC_JS(void, WebJsClose, (int line), { await Module.webSerial.close(line, false); });
EM_ASYNC_JS(int, WebJsRead, (int line, uint8_t* buffer, uint32_t count, uint32_t timeoutMs), {
    return await Module.webSerial.read(line, buffer >>> 0, count >>> 0, timeoutMs >>> 0);
});
EM_ASYNC_JS(int, WebJsWrite, (int line, const uint8_t* bytes, uint32_t count, uint32_t timeoutMs), {
    return await Module.webSerial.write(line, bytes >>> 0, count >>> 0, timeoutMs >>> 0);
});
EM_ASYNC_JS(int, WebJsSetSpeed, (int line, uint32_t baud), { return await Module.webSerial.setSpeed(line, baud >>> 0); });
EM_JS(uint32_t, WebJsQueued, (int line), { return Module.webSerial.queued(line); });
EM_JS(void, WebJsPurge, (int line), { Module.webSerial.purge(line); });
EM_JS(void, WebJsReason, (char* buffer, int size), { stringToUTF8(Module.webSerial.reason(), buffer, size); });
EM_JS(int32_t, WebJsUsbId, (), { return Module.webSerial.usbId(); });
EM_JS(int, WebJsRefused, (), { return Module.webSerial.refused() ? 1 : 0; });

namespace {

// What port_web.js answers for a transfer on a port that stopped.
enum { kWebLineGone = -2 };

// The browser's reason for the last failure, into the port's fault record.
void NoteFault(int32_t problem) {
    char reason[128];
    WebJsReason(reason, sizeof reason);
    SetPortFault(problem, reason);
    if (problem == kPortGone) LineLogNote("port error: %s", reason);
}

}  // namespace

// The device is the port the user chose, whatever the name.
int32_t PortOpenSystemLine(const char*, const PortLine& line, PortHandle* port) {
    *port = nullptr;
    // As the Windows line set-up: DTR on for the keyer, RTS off.
    int opened = WebJsOpen(line.baud, line.keyer ? 1 : 0, 0);
    if (opened == kSerialOpenFailed) {
        NoteFault(WebJsRefused() ? kPortBusy : kPortFailed);
        return kSerialOpenFailed;
    }
    if (opened < 0) {
        NoteFault(kPortFailed);
        *port = new WebPort{0, line.readTimeoutMs, line.baud};
        return kSerialSetStateFailed;
    }
    WebPort* held = new WebPort{opened, line.readTimeoutMs, line.baud};
    PlatformSleep(100);
    WebJsPurge(held->line);
    *port = held;
    return 0;
}

void PortCloseLine(PortHandle handle) {
    WebPort* port = static_cast<WebPort*>(handle);
    if (port == nullptr) return;
    if (port->line != 0) WebJsClose(port->line);
    delete port;
}

int WebLineRead(int line, uint8_t* buffer, uint32_t count, uint32_t timeoutMs, uint32_t* got) {
    *got = 0;
    if (count == 0) return 1;
    int n = WebJsRead(line, buffer, count, timeoutMs);
    if (n == kWebLineGone) NoteFault(kPortGone);
    if (n < 0) return 0;
    *got = static_cast<uint32_t>(n);
    return 1;
}

int WebLineWrite(int line, const uint8_t* bytes, uint32_t count, uint32_t timeoutMs, uint32_t* written) {
    *written = 0;
    if (count == 0) return 1;
    int n = WebJsWrite(line, bytes, count, timeoutMs);
    if (n == kWebLineGone) NoteFault(kPortGone);
    if (n < 0) return 0;
    *written = static_cast<uint32_t>(n);
    return *written == count;
}

uint32_t WebLineQueued(int line) { return WebJsQueued(line); }

void WebLinePurge(int line) { WebJsPurge(line); }

int WebLineSetSpeed(int line, uint32_t baud) { return WebJsSetSpeed(line, baud); }

int32_t WebPortUsbId() { return WebJsUsbId(); }
