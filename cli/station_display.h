// What a station shows: on a terminal one line per port (waiting, updating
// N %, done, failed: message, waiting for the board to go) and a running
// count, redrawn in place; elsewhere (a pipe, a log) a plain line at each
// change of a port, at each further tenth of an update, and the count after
// each board. At the end a summary per port.
#pragma once
#include <string>
#include <vector>

#include "cli/station.h"

void StationShowBegin(const std::vector<StationPort>& ports);

// A port's state changed, or its worker's percent did.
void StationShowChange(StationPort* port);

// A board has ended: in plain lines, the running count.
void StationShowCount(const std::vector<StationPort>& ports);

// Redraws the terminal's lines when something changed or a second passed.
void StationShowTick(const std::vector<StationPort>& ports);

// A message is about to be printed: it goes below the lines drawn so far.
void StationShowBreak();

// The summary: boards done and failed per port, the mean and the slowest
// time, and the exit code.
void StationSummary(const std::vector<StationPort>& ports, double seconds, int exit);
