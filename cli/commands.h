// The commands of ridorez. Each returns its exit code (exit_codes.h) and
// fills report for the JSON object. kExitInterrupted means that a worker
// may still run: the program must end at once (ConsoleExitNow).
#pragma once
#include "cli/command_line.h"
#include "cli/output.h"

int RunPorts(const CliOptions& options);
int RunProbe(const CliOptions& options, CliReport* report);
int RunUpdate(const CliOptions& options, CliReport* report);
int RunVerify(const CliOptions& options, CliReport* report);
int RunBackup(const CliOptions& options, CliReport* report);
// A release: made from image files (release_command.cpp); what each target
// on a port has against it, and the update of each that is out of date
// (status_command.cpp).
int RunReleaseMake(const CliOptions& options, CliReport* report);
int RunStatus(const CliOptions& options, CliReport* report);
int RunUpdateAll(const CliOptions& options, CliReport* report);

// The two halves of update and of verify t62, for a bench, which loads the
// image once and runs the rest in a process per port: the load with its
// line (the same for both), then the probe and the run on the image the
// stores hold.
int LoadImageStep(const CliOptions& options, CliReport* report);
int RunLoadedUpdate(const CliOptions& options, CliReport* report);
int RunLoadedVerify(const CliOptions& options, CliReport* report);
