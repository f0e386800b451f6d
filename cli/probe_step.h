// The probe that starts every command on a device: the main window's probe
// of the target, on the port given, with the main window's texts. The
// target's channel stays open for the run that follows, as the main window
// leaves it for the uploader; the program closes it at its end.
#pragma once
#include <string>

#include "cli/output.h"
#include "zq3/keyer_probe.h"

// Probes target ("t62", "psoc", "zq3") on device (port as the user named
// it, for the texts). Returns kExitDone when the target answered (for the
// ZQ3 also when only its loader answers: the update then runs in recovery
// mode), else the exit code, after saying why (also in report's message).
int ProbeStep(const std::string& target, const std::string& port, const std::string& device, CliReport* report);

// After a run that ended with a failure: kExitPort when the port stopped
// working (said, and added to report's message), else failure.
int ExitForFailedRun(const std::string& port, int failure, CliReport* report);

// The ZQ3 step by step, for a command that probes within a step of its own:
// the keyer channel opened on device (kExitDone, else the exit code after
// saying why), and what a ZQ3 probe found, said as ProbeStep says it.
int OpenZq3Channel(const std::string& port, const std::string& device, CliReport* report);
int ReportZq3Probe(int found, const KeyerProbeResult& result, const std::string& port, CliReport* report);
