// What opening a port does the same way on every platform: what a failed
// set-up leaves held, and the line log's note of the open.
#include "core/line_log.h"
#include "serial/port_fault.h"
#include "serial/port_open.h"

int32_t PortOpenLine(const char* device, const PortLine& line, PortHandle* port) {
    *port = nullptr;
    ClearPortFault();
    PortHandle opened = nullptr;
    int32_t result = PortOpenSystemLine(device, line, &opened);
    if (opened == nullptr) return result;
    // The keyer channel keeps a port whose set-up failed, for its own close.
    if (result != 0 && !line.keyer) {
        PortCloseLine(opened);
        return result;
    }
    *port = opened;
    if (result == 0) LineLogNote("open %s %lu", device, static_cast<unsigned long>(line.baud));
    return result;
}
