// A run's progress as the command line shows it: on a terminal one line
// redrawn in place (bar, percent, units done of all, bytes per second,
// elapsed and remaining time); elsewhere (a pipe, a CI log) a plain line at
// every further 10 % and one at the end. Nothing with --quiet.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

struct Progress {
    const char* unit;        // "rows", "blocks", "records"
    int32_t total;           // units in the run
    int32_t unitBytes;       // image bytes per unit, for the byte rate
    double secondsPerUnit;   // a unit's time on the line, until a rate is measured
    double started;          // CliClock() at the start
    FILE* stream;            // null: nothing is shown
    int terminal;
    int lastTenth;           // tenths shown so far (plain lines)
    int drawn;               // length of the line last drawn in place
    int32_t done;
};

// Monotonic seconds.
double CliClock();

// "0:25", "12:05", "1:02:03".
std::string FormatDuration(double seconds);

// The same in words, for a sentence: "25 s", "12 min 5 s", "1 h 2 min".
std::string DescribeDuration(double seconds);

void ProgressBegin(Progress* progress, const char* unit, int32_t total, int32_t unitBytes, double secondsPerUnit);

// The run has done units so far.
void ProgressShow(Progress* progress, int32_t done);

// The run has ended with done units: the last state, and the line ended.
void ProgressEnd(Progress* progress, int32_t done);

// The time the run still takes, from its rate so far (or, before it has
// one, from the time per unit on the line).
double ProgressSecondsLeft(const Progress* progress);
