// The worker processes of a bench, one implementation per platform
// (bench_process_posix.cpp, bench_process_win32.cpp): this program started
// again with other arguments, its standard input fed and closed, its
// standard output read as it comes, its standard error thrown away; out of
// reach of the terminal's Ctrl-C, which the parent deals with for all.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

struct BenchProcess {
    intptr_t id = 0;       // the pid, or the process HANDLE
    intptr_t output = -1;  // the read end of its standard output: a descriptor, or the pipe HANDLE
};

// Starts this program with args (those after the program's name), writes
// input to its standard input and closes that. Returns 1 when it started.
int BenchStart(const std::vector<std::string>& args, const std::string& input, BenchProcess* process);

// Appends what its standard output holds now to text, without waiting.
// Returns 0 once that output has ended.
int BenchReadOutput(BenchProcess* process, std::string* text);

// 1 when it has ended (its exit code in *code, 128 + the signal when one
// ended it), 0 while it runs.
int BenchEnded(BenchProcess* process, int* code);

// Asks it to abandon its run, as Ctrl-C does to a command run alone: called
// again until it has ended, it is its second Ctrl-C (where that cannot be
// asked, it is ended at once).
void BenchStop(BenchProcess* process);

// Ends it at once, and lets go of what the parent holds of it.
void BenchKill(BenchProcess* process);

// All of standard input, as bytes.
std::string BenchReadInput();

// Readies stream (a terminal) for the cursor moves that redraw the boards'
// lines. Returns 0 when it cannot take them.
int BenchTerminalMoves(FILE* stream);
