// The synchronous channel's open and close, the same on every platform over
// the one port-opening routine (port_open.h).
#include "core/app_state.h"
#include "serial/port_open.h"
#include "serial/serial_port.h"

int32_t SerialOpenDevice(const char* device, uint32_t baud, uint32_t readTimeoutMs) {
    // A port still held would otherwise stay open behind the new one, locked,
    // and the device would refuse the new open as busy.
    SerialClose();
    int32_t result = PortOpenLine(device, PortLine{baud, readTimeoutMs, 0}, &AppState.portHandle);
    if (result == 0) AppState.portOpen = 1;
    return result;
}

void SerialClose() {
    PortCloseLine(AppState.portHandle);
    AppState.portHandle = nullptr;
}
