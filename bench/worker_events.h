// What a bench's worker process tells the process that started it and
// watches it (bench_board.h): one line per event on its standard output, the
// fields apart by tabs:
//
//   phase     probe | update | verify
//   versions  the probe's lines, "; " between them
//   found     what the probe found, a JSON object
//   found_short  the same in a few words
//   advice    what to do after abandoning the update
//   percent   0 to 100, at each change
//   result    status code, exit code, bytes, message, advice
//
// Nothing is written unless WorkerEventsOn(1): a command run alone says
// nothing of it.
#pragma once
#include <string>
#include <vector>


void WorkerEventsOn(int on);

void WorkerEventPhase(const char* phase);
void WorkerEventText(const char* kind, const std::string& text);
void WorkerEventPercent(int percent);
// The run's status code, the exit code it ends with, the bytes it loaded,
// its final message and what to do next.
void WorkerEventResult(int result, int exit, long long bytes, const std::string& message, const std::string& advice);

// The fields of one event line, its kind first.
std::vector<std::string> WorkerEventFields(const std::string& line);
