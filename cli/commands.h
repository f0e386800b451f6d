// The commands of ridorez. Each returns its exit code (exit_codes.h) and
// fills report for the JSON object. kExitInterrupted means that a worker
// may still run: the program must end at once (ConsoleExitNow).
#pragma once
#include "cli/command_line.h"
#include "cli/output.h"

int RunPorts();
int RunProbe(const CliOptions& options, CliReport* report);
int RunUpdate(const CliOptions& options, CliReport* report);
int RunVerify(const CliOptions& options, CliReport* report);
int RunBackup(const CliOptions& options, CliReport* report);
