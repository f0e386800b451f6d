// The probe that starts every command on a device: the main window's probe
// of the target, on the port given, with the main window's texts. The
// target's channel stays open for the run that follows, as the main window
// leaves it for the uploader; the program closes it at its end.
#pragma once
#include <string>

#include "cli/output.h"
#include "uploader/target_table.h"

// Probes row's target on device (port as the user named it, for the texts).
// Returns kExitDone when the target answered (also when only its loader
// answers: the update then runs in recovery mode), else the exit code,
// after saying why (also in report's message).
int ProbeStep(const TargetRow& row, const std::string& port, const std::string& device, CliReport* report);

// ProbeStep's two halves, for an update whose target probes within a step
// of its own (row.prepareProbes): the target's channel opened on device
// (kExitDone, else the exit code after saying why), and what a probe found,
// said as ProbeStep says it.
int OpenStep(const TargetRow& row, const std::string& port, const std::string& device, CliReport* report);
int ReportProbe(const TargetRow& row, const TargetProbeLines& lines, const std::string& port, CliReport* report);

// After a run that ended with a failure: kExitPort when the port stopped
// working (said, and added to report's message, with what to do), else
// failure.
int ExitForFailedRun(const std::string& port, int failure, CliReport* report);

// Says what to do next, and adds it to report's advice.
void Advise(const std::string& text, CliReport* report);
