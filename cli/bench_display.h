// What a bench shows of its boards: on a terminal one line per port,
// redrawn in place; elsewhere (a pipe, a CI log) a line per port for its
// probe's versions, at each further tenth and at its end; with --json one
// JSON object per line on standard output for each event (port, phase,
// percent, then the port's result object). At the end the summary table
// and, with --json, the summary object. --quiet keeps the table alone.
#pragma once
#include <string>
#include <vector>

#include "cli/bench.h"

void BenchShowBegin(const CliOptions& options, std::vector<BenchBoard>* boards);

// board has a new phase, its versions, a new percent, or has ended ("phase",
// "versions", "percent", "end").
void BenchShowEvent(BenchBoard* board, const char* kind);

// Redraws the terminal's lines when something changed or a second passed.
void BenchShowTick(const std::vector<BenchBoard>& boards);

// A message of the bench is about to be printed: the lines drawn so far
// stay above it, and are drawn anew below it.
void BenchShowBreak();

// The last state of every line.
void BenchShowEnd(const std::vector<BenchBoard>& boards);

// "done", "failed (exit 6)", ...: a board's result in words.
std::string BenchResultText(const BenchBoard& board);

// The summary object of boards (seconds below 0: not known, null).
std::string BenchSummaryJson(const CliOptions& options, const std::vector<BenchBoard>& boards, int exit,
                             double seconds, const std::string& message, const char* stoppedBy);

// The summary table of boards (none: no table) and, with --json, the
// summary object, with message when the bench ended before its boards ran,
// and stoppedBy (or null) the request to stop that came while they ran.
void BenchSummary(const CliOptions& options, const std::vector<BenchBoard>& boards, int exit, double seconds,
                  const std::string& message, const char* stoppedBy);
