#include "cli/probe_step.h"

#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/messages.h"
#include "cli/output.h"
#include "cli/port_select.h"
#include "cli/worker_events.h"
#include "core/app_state.h"
#include "psoc/psoc_probe.h"
#include "serial/port_fault.h"
#include "serial/serial_texts.h"
#include "serial/serial_port.h"
#include "t62/t62_probe.h"
#include "zq3/keyer_channel.h"
#include "zq3/keyer_probe.h"

namespace {

int OpenFailed(const char* text, const std::string& port, CliReport* report) {
    Complain("%s", text);
    report->message = text;
    std::string why = PortFaultText(port);
    if (!why.empty()) {
        Complain("ridorez: %s", why.c_str());
        report->message += ": " + why;
    }
    return kExitPort;
}

int SerialOpenFailed(int32_t code, const std::string& port, CliReport* report) {
    char buffer[64];
    return OpenFailed(SerialOpenFailureText(code, buffer, sizeof buffer), port, report);
}

// "115200 baud", for the texts that name a probe's speed.
std::string BaudText(uint32_t baud) { return std::to_string(baud) + " baud"; }

// The probe's line says that the target did not answer.
int NoAnswer(const char* line, const std::string& port, const std::string& expected, CliReport* report) {
    Complain("%s", line);
    report->message = line;
    if (LastPortFault().problem == kPortGone) return ExitForFailedRun(port, kExitNoDevice, report);
    Complain("ridorez: %s: %s", port.c_str(), expected.c_str());
    return kExitNoDevice;
}

int ProbeT62(const std::string& port, const std::string& device, CliReport* report) {
    int32_t opened = SerialOpenDevice(device.c_str(), kT62ProbeBaud, kT62ProbeReadTimeoutMs);
    if (opened != 0) return SerialOpenFailed(opened, port, report);
    T62ProbeResult result;
    T62ProbeIdentify(&result);
    char portLine[64], hardwareLine[64];
    FormatT62ProbeLines(&result, portLine, sizeof portLine, hardwareLine, sizeof hardwareLine);
    if (result.outcome != kT62ProbeConnected)
        return NoAnswer(portLine, port, "no T62 firmware loader answered at " + BaudText(kT62ProbeBaud), report);
    Say("%s", portLine);
    Say("%s", hardwareLine);
    WorkerEventText("versions", std::string(portLine) + "; " + hardwareLine);
    return kExitDone;
}

int ProbePsoc(const std::string& port, const std::string& device, CliReport* report) {
    int32_t opened = SerialOpenDevice(device.c_str(), kPsocProbeBaud, kPsocProbeReadTimeoutMs);
    if (opened != 0) return SerialOpenFailed(opened, port, report);
    PsocProbeResult result;
    PsocProbeIdentify(&result);
    char line[64];
    FormatPsocProbeLine(&result, line, sizeof line);
    if (result.outcome == kPsocProbeNotBootLoader)
        return NoAnswer(line, port, "a device answered at " + BaudText(kPsocProbeBaud) + ", but not as the PSoC boot loader", report);
    if (result.outcome != kPsocProbeConnected)
        return NoAnswer(line, port, "no PSoC boot loader answered at " + BaudText(kPsocProbeBaud), report);
    Say("%s", line);
    WorkerEventText("versions", line);
    return kExitDone;
}

int ProbeZq3(const std::string& port, const std::string& device, CliReport* report) {
    int opened = OpenZq3Channel(port, device, report);
    if (opened != kExitDone) return opened;
    KeyerProbeResult result;
    int found = ProbeKeyer(&result);
    return ReportZq3Probe(found, result, port, report);
}

}  // namespace

int ProbeStep(const std::string& target, const std::string& port, const std::string& device, CliReport* report) {
    // The ZQ3's phase begins with its channel (OpenZq3Channel), which an
    // update opens without this step.
    if (target != "zq3") WorkerEventPhase("probe");
    if (target == "t62") return ProbeT62(port, device, report);
    if (target == "psoc") return ProbePsoc(port, device, report);
    return ProbeZq3(port, device, report);
}

int OpenZq3Channel(const std::string& port, const std::string& device, CliReport* report) {
    WorkerEventPhase("probe");
    int opened = KeyerOpenDevice(device.c_str());
    if (opened == 0) return kExitDone;
    KeyerClose();
    return OpenFailed(KeyerOpenFailureText(opened), port, report);
}

int ReportZq3Probe(int found, const KeyerProbeResult& result, const std::string& port, CliReport* report) {
    if (found < 0) {
        Complain("%s", result.portLine);
        int code = NoAnswer(KeyerProbeResultText(found), port,
                            "no ZQ3 keyer IC answered at " + BaudText(kKeyerBaud) + ", nor its loader at " +
                                std::to_string(kKeyerRecordBaud),
                            report);
        report->message += std::string(" (") + result.portLine + ")";
        return code;
    }
    Say("%s", result.portLine);
    WorkerEventText("versions", std::string(result.portLine) +
                                    (result.variantLine[0] ? std::string("; ") + result.variantLine : ""));
    if (found == kIcNoOs) {
        Say("The IC answers without its operating firmware: the update runs in recovery mode.");
        return kExitDone;
    }
    if (result.variantLine[0]) Say("%s", result.variantLine);
    Say("%s", KeyerProbeResultText(found));
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
    return ProbeStep(options.target, options.port, device, report);
}
