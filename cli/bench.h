// A bench: one command on many boards at once (ridorez update TARGET FILE
// --port A --port B ..., or --ports FILE; also verify t62 and probe). The
// image is loaded and checked once; each port then runs in a worker process
// of its own (the core keeps one AppState a process), this program itself
// started with --bench-worker, which gets the loaded image on its standard
// input and tells its progress on its standard output (bench/ holds the
// worker processes and what they tell).
// The parent shows every board's progress, deals with Ctrl-C for all of
// them, and ends with a summary.
#pragma once
#include <string>
#include <vector>

#include "bench/bench_board.h"
#include "cli/command_line.h"
#include "cli/output.h"

// Whether a board failed, which the summaries count as failed and
// --retry-failed runs again: its command did not do its job. An update (a
// station's read-back after it included) or a probe that did not end done;
// a verify that could not compare (a difference it found is its answer).
int BenchFailed(int exit, const std::string& command);
int BenchFailed(const BenchBoard& board);

// Whether options ask for a bench rather than a command on one port.
int BenchWanted(const CliOptions& options);

// The bench, from the ports to the summary. Returns the exit code: 0 when
// every board is done, else the highest code of a board.
int RunBench(const CliOptions& options);

// The worker process's run on its port: the loaded image from standard
// input, then the command's probe and run. Returns its exit code.
int RunBenchWorker(const CliOptions& options, CliReport* report);

// The ports the options name: each --port, then the lines of --ports FILE
// (from a # to the line's end is a comment; blanks around a port go; a
// UTF-8 byte-order mark and CRLF or CR line ends are taken as an editor
// means them). A device named twice, under whatever names (a link and its
// device, serial= and its device), is refused. Returns kExitDone, or the
// exit code after saying what is wrong.
int BenchPortList(const CliOptions& options, std::vector<std::string>* ports);

// The file in dir for port's line log: "port-" and the port's name, with
// what a file name cannot hold replaced, unique among those in taken.
std::string BenchLogName(const std::string& dir, const std::string& port, std::vector<std::string>* taken);
