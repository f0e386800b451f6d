// The line's dispatcher and the signals it answers.
#pragma once

struct Sim;

// Holds SIGTERM, SIGINT and SIGHUP (stop), SIGUSR1 (power-cycle every
// device) and SIGUSR2 (write the memory files now) back until Serve waits
// for the line.
void InstallStopSignals();

// Serves the line until SIGTERM, SIGINT or SIGHUP. Returns the exit code.
int Serve(Sim* sim);
