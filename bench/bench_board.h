// One board of a bench or a station as the parent follows it: the worker
// process on its port (bench_process.h) and what that worker has told so
// far (worker_events.h).
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "bench/bench_process.h"

struct BenchBoard {
    std::string port;
    std::string command;   // what its workers run: probe, update, verify
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
    int processExit = -1;  // its process's own exit code once it ended
    int attempt = 1;       // 2 on --retry-failed's run
    int failedFirst = 0;   // it failed on the first run (and ran again)
    double started = 0, seconds = 0;
};

// Forgets what the last worker told and starts a new one: this program with
// args, input on its standard input. Returns 1 when it started; else 0, with
// the message said.
int BenchBoardStart(BenchBoard* b, const std::vector<std::string>& args, const std::string& input);

// Takes what the worker has said since, calling told with each event's kind
// once the board holds it. Returns 1 while the worker runs; 0 once it has
// ended (phase "end", exit and seconds set), and from then on.
int BenchBoardFollow(BenchBoard* b, const std::function<void(const std::string& kind)>& told);

// Ends the worker at once: the board ends with code unless its worker had
// reported a result, which stands.
void BenchBoardKill(BenchBoard* b, int code);
