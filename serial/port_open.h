// The one way both serial channels open a port (port_open.cpp, over the
// platform's PortOpenSystemLine in port_posix.cpp, port_win32.cpp and
// port_web.cpp). The synchronous channel and the keyer channel differ only
// in the line they ask for.
#pragma once
#include <cstdint>

#include "core/platform.h"

struct PortLine {
    uint32_t baud;
    uint32_t readTimeoutMs;  // the port's own limit for one read call
    // 0: the synchronous line: DTR and RTS off, no flow control, and a port
    //    whose set-up failed is closed again.
    // 1: the keyer's line: DTR on, RTS off, CTS and DSR flow left as the
    //    driver has them, overlapped transfers on Windows; a port whose
    //    set-up failed stays held, for the keyer channel's close.
    int keyer;
};

// Opens device for exclusive use, sets up its line at line.baud 8N1, lets
// it settle for 100 ms, empties its receive queue and logs the open.
// Returns 0 with *port the open port, or the failing step: kSerialOpenFailed
// (nothing is held then), kSerialGetStateFailed, kSerialSetStateFailed,
// kSerialGetTimeoutsFailed, kSerialSetTimeoutsFailed (the synchronous line
// only) or kSerialPurgeFailed. The keyer channel's codes have the same
// values. The reason behind a failure to open is in LastPortFault().
int32_t PortOpenLine(const char* device, const PortLine& line, PortHandle* port);

// The platform's part of PortOpenLine: opens and sets up the line, the
// 100 ms settle and the emptied receive queue included, and returns the
// same codes. *port is the port whenever the device itself was opened, also
// when a later step failed (PortOpenLine then closes it or keeps it), and
// null when it was not.
int32_t PortOpenSystemLine(const char* device, const PortLine& line, PortHandle* port);

// Closes a port that PortOpenLine gave (null: nothing to close).
void PortCloseLine(PortHandle port);
