// Why a port did not open, or stopped working in the middle of a run, as
// the system told it. The channels' own results stay the codes the dialogs
// show ("Comm port open error" is one code for every reason); this record
// keeps the reason beside them for a front end that explains more. The
// channels set it; it holds the last fault until the next open clears it.
#pragma once
#include <cstddef>
#include <cstdint>

enum PortProblem {
    kPortFine = 0,
    kPortMissing,    // no such device, or no hardware behind its name
    kPortDenied,     // no permission to open it
    kPortBusy,       // another program holds it
    kPortNotSerial,  // it opened, but it is not a serial port
    kPortGone,       // it failed in the middle of a run: unplugged, or its peer closed
    kPortFailed,     // any other failure of the system
    kPortUntrusted,  // refused: a COM port whose name another user could have set up
};

struct PortFault {
    int32_t problem;   // a PortProblem
    char detail[320];  // kPortDenied: the group that has access ("" when none
                       // but its owner and root's group); kPortUntrusted: why;
                       // otherwise the system's text
};

void ClearPortFault();
void SetPortFault(int32_t problem, const char* detail);
const PortFault& LastPortFault();
