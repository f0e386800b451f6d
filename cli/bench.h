// A bench: one command on many boards at once (ridorez update TARGET FILE
// --port A --port B ..., or --ports FILE; also verify t62 and probe). The
// image is loaded and checked once; each port then runs in a worker process
// of its own (the core keeps one AppState a process), this program itself
// started with --bench-worker, which gets the loaded image on its standard
// input and tells its progress on its standard output (worker_events.h).
// The parent shows every board's progress, deals with Ctrl-C for all of
// them, and ends with a summary.
#pragma once
#include <string>
#include <vector>

#include "cli/bench_process.h"
#include "cli/command_line.h"
#include "cli/output.h"

// One port of a bench, as the parent follows it.
struct BenchBoard {
    std::string port;
    std::string log;       // its line log, or empty
    BenchProcess process;
    std::string pending;   // the worker's output not yet a whole line
    std::string phase;     // "start", then the worker's phases, "end" when it ended
    std::string versions;  // the probe's lines
    std::string found;     // what the probe found: a JSON object, and in a few words
    std::string foundShort;
    std::string advice;    // what to do after abandoning its update
    std::string message;   // its final message
    std::string runAdvice; // what to do next after its failure
    int percent = 0;
    int shownTenth = 0;    // tenths shown so far in a pipe
    int result = 0;        // the worker's status code
    int reported = -1;     // the exit code its worker reported with its result (-1: none yet)
    long long bytes = 0;
    int exit = -1;         // its exit code once it ended: the reported one, else its process's
    int attempt = 1;       // 2 on --retry-failed's run
    int failedFirst = 0;   // it failed on the first run (and ran again)
    double started = 0, seconds = 0;
};

// Whether the board failed: what --retry-failed runs again, and the
// summary counts as failed (neither done nor found different by verify).
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
