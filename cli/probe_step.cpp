#include "cli/probe_step.h"

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "cli/output.h"
#include "cli/port_select.h"
#include "cli/worker_events.h"
#include "serial/port_fault.h"

namespace {

// The probe's line says that the target did not answer.
int NoAnswer(const char* line, const std::string& port, const std::string& expected, CliReport* report) {
    Complain("%s", line);
    report->message = line;
    if (LastPortFault().problem == kPortGone) return ExitForFailedRun(port, kExitNoDevice, report);
    Complain("ridorez: %s: %s", port.c_str(), expected.c_str());
    return kExitNoDevice;
}

}  // namespace

int ProbeStep(const TargetRow& row, const std::string& port, const std::string& device, CliReport* report) {
    int opened = OpenStep(row, port, device, report);
    if (opened != kExitDone) return opened;
    TargetProbeLines lines;
    row.identify(&lines);
    return ReportProbe(row, lines, port, report);
}

int OpenStep(const TargetRow& row, const std::string& port, const std::string& device, CliReport* report) {
    WorkerEventPhase("probe");
    int opened = row.openDevice(device.c_str());
    if (opened == 0) return kExitDone;
    char buffer[64];
    const char* text = row.openFailure(opened, buffer, sizeof buffer);
    Complain("%s", text);
    report->message = text;
    std::string why = PortFaultText(port);
    if (!why.empty()) {
        Complain("ridorez: %s", why.c_str());
        report->message += ": " + why;
    }
    return kExitPort;
}

int ReportProbe(const TargetRow& row, const TargetProbeLines& lines, const std::string& port, CliReport* report) {
    std::string portLine = lines.portLine;
    if (!lines.connected) {
        // A target with a result line says it after the port line, and
        // keeps the port line in the report.
        if (lines.resultLine == nullptr) return NoAnswer(lines.portLine, port, row.noAnswer(lines), report);
        Complain("%s", lines.portLine);
        int code = NoAnswer(lines.resultLine, port, row.noAnswer(lines), report);
        report->message += " (" + portLine + ")";
        return code;
    }
    Say("%s", lines.portLine);
    WorkerEventText("versions", portLine + (lines.hwLine[0] ? "; " + std::string(lines.hwLine) : ""));
    if (lines.loaderOnly) {
        Say("%s", row.loaderOnlyText);
        return kExitDone;
    }
    if (lines.hwLine[0]) Say("%s", lines.hwLine);
    if (lines.resultLine != nullptr) Say("%s", lines.resultLine);
    return kExitDone;
}

int ExitForFailedRun(const std::string& port, int failure, CliReport* report) {
    if (LastPortFault().problem != kPortGone) return failure;
    std::string why = PortFaultText(port);
    Complain("ridorez: %s", why.c_str());
    report->message += " (" + why + ")";
    return kExitPort;
}

int RunProbe(const CliOptions& options, CliReport* report) {
    char device[600];
    CliPortDevice(options.port.c_str(), device, sizeof device);
    return ProbeStep(*TargetNamed(options.target), options.port, device, report);
}
