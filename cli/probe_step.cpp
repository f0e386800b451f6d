#include "cli/probe_step.h"

#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "cli/output.h"
#include "cli/port_select.h"
#include "bench/worker_events.h"
#include "serial/port_fault.h"

namespace {

// The probe's line says that the target did not answer.
int NoAnswer(const TargetRow& row, const char* line, const std::string& port, const std::string& expected,
             CliReport* report) {
    Complain("%s", line);
    report->message = line;
    if (LastPortFault().problem == kPortGone) return ExitForFailedRun(port, kExitNoDevice, report);
    Complain("%s: %s: %s", kCliName, port.c_str(), expected.c_str());
    Advise(row.probeAdvice, report);
    return kExitNoDevice;
}

std::string JsonText(const char* text) { return text[0] ? JsonString(text) : "null"; }

// What a probe found, as a JSON object, and in a few words.
void Found(const TargetProbeLines& lines, CliReport* report) {
    report->found = "{\"loader_version\":" + JsonText(lines.loaderVersion) +
                    ",\"hw_revision\":" + JsonText(lines.hwRevision) +
                    ",\"firmware_version\":" + JsonText(lines.firmwareVersion) +
                    ",\"ic_type\":" + (lines.icType ? std::to_string(lines.icType) : "null") +
                    ",\"variant\":" + JsonText(lines.variant) +
                    ",\"loader_only\":" + (lines.loaderOnly ? "true" : "false") + "}";
    std::string words;
    if (lines.loaderVersion[0]) words = "loader " + std::string(lines.loaderVersion);
    if (lines.hwRevision[0]) words += ", H/W " + std::string(lines.hwRevision);
    if (lines.firmwareVersion[0]) words = "F/W " + std::string(lines.firmwareVersion);
    if (lines.variant[0]) words += " " + std::string(lines.variant);
    if (lines.loaderOnly) words = "loader only, no O/S";
    report->foundShort = words;
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
        Complain("%s: %s", kCliName, why.c_str());
        report->message += ": " + why;
    }
    return kExitPort;
}

int ReportProbe(const TargetRow& row, const TargetProbeLines& lines, const std::string& port, CliReport* report) {
    std::string portLine = lines.portLine;
    if (!lines.connected) {
        // A target with a result line says it after the port line, and
        // keeps the port line in the report.
        if (lines.resultLine == nullptr) return NoAnswer(row, lines.portLine, port, row.noAnswer(lines), report);
        Complain("%s", lines.portLine);
        int code = NoAnswer(row, lines.resultLine, port, row.noAnswer(lines), report);
        report->message += " (" + portLine + ")";
        return code;
    }
    Say("%s", lines.portLine);
    Found(lines, report);
    // The probe's lines are its report's message until a run has its own.
    report->message = portLine + (lines.hwLine[0] ? "; " + std::string(lines.hwLine) : "");
    WorkerEventText("versions", report->message);
    WorkerEventText("found", report->found);
    WorkerEventText("found_short", report->foundShort);
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
    Complain("%s: %s", kCliName, why.c_str());
    report->message += " (" + why + ")";
    Advise(kTargetPortLostAdvice, report);
    return kExitPort;
}

void Advise(const std::string& text, CliReport* report) {
    Complain("%s: %s", kCliName, text.c_str());
    report->advice += (report->advice.empty() ? "" : " ") + text;
}

int RunProbe(const CliOptions& options, CliReport* report) {
    char device[600];
    CliPortDevice(options.port.c_str(), device, sizeof device);
    return ProbeStep(*TargetNamed(options.target), options.port, device, report);
}
