#include "cli/messages.h"

#include <cstdio>
#include <cstring>

#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/output.h"
#include "cli/port_select.h"
#include "image/hex_lines.h"
#include "serial/port_fault.h"

std::string PortFaultText(const std::string& port) {
    const PortFault& fault = LastPortFault();
    char device[600];
    CliPortDevice(port.c_str(), device, sizeof device);
    std::string head = port + (port == device ? "" : " (" + std::string(device) + ")") + ": ";
    switch (fault.problem) {
        case kPortMissing: return head + "no such port (`" + kCliName + " ports` lists those present)";
        case kPortDenied:
            if (fault.detail[0] == '\0') return head + "permission denied: only its owner may open it";
            return head + "permission denied: the group " + fault.detail +
                   " may use it; add your user to that group and log in again";
        case kPortBusy: return head + "busy: another program has it open";
        case kPortNotSerial: return head + "not a serial port";
        case kPortGone: return head + "the port stopped working (unplugged?): " + fault.detail;
        case kPortFailed: return head + fault.detail;
        case kPortUntrusted: return head + "refused: " + fault.detail;
        default: return "";
    }
}

std::string LoadFailureText(int32_t result, const std::string& file, const char* emptyMeaning, int openError) {
    int32_t line = HexLineNumber();
    char where[64];
    std::snprintf(where, sizeof where, ", line %d: ", static_cast<int>(line));
    std::string head = file;
    switch (result) {
        case 0: return head + ": " + emptyMeaning;
        case kHexEmptyPath: return "no file named";
        case kHexOpenFailed: return head + ": cannot be opened: " + std::strerror(openError);
        case kHexUnexpectedEnd: return head + where + "the file ends (or cannot be read) before its end-of-file record";
        case kHexBadLine:
            // The line after the last one: the end-of-file record is missing.
            if (HexLinePastEnd()) return head + ": the file ends before its end-of-file record";
            return head + where + "not an Intel HEX record (a character that does not belong, a line too "
                                  "short for its byte count, or a wrong checksum)";
        case kHexBadRecordType:
            return head + where + "a record type the loader does not take (only 00, 01, 02 and 04)";
        case kHexNoBuffer: return "no memory for the image";
        default: return head + ": cannot be loaded";
    }
}

int LoadFailed(int32_t result, const std::string& file, const char* emptyMeaning, int openError, CliReport* report) {
    std::string why = LoadFailureText(result, file, emptyMeaning, openError);
    Complain("File Error");
    Complain("%s: %s", kCliName, why.c_str());
    report->message = "File Error: " + why;
    return kExitFile;
}
