// Where the command line's texts go. The lines of a run and its final
// message go to the run's stream: standard output, or standard error with
// --json, whose standard output then holds nothing but the JSON object.
// --quiet keeps only the final message and the errors. Errors always go to
// standard error.
#pragma once
#include <cstdio>
#include <string>

void OutputSetup(int quiet, int json);
int OutputQuiet();
FILE* RunStream();

// A line of the run (not with --quiet).
void Say(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// The final message of a run that went well (also with --quiet).
void SayFinal(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// An error line, to standard error.
void Complain(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// A progress line is being redrawn in place on stream; the next line of
// text must start below it.
void OutputLineOpen(FILE* stream, int open);

// What one command did, for the JSON object at its end.
struct CliReport {
    std::string target, port, file;
    long long bytes = 0;      // bytes loaded (T62, PSoC), record data bytes (ZQ3), bytes read (backup)
    int result = 0;           // the run's status code; 0 when no run ended
    std::string message;      // the final message, or the error that ended the command
    std::string advice;       // what to do next after a failure ("" none)
    std::string found;        // what the probe found, a JSON object ("" when it found no target)
    std::string foundShort;   // the same in a few words, for the bench's table
    int exit = 0;
    bool compared = false;    // verify: the two fields below are meant
    long long rowsDiffering = 0;
    long long firstDifference = -1;
    std::string stoppedBy;    // the request to stop that came during the update ("" none)
    std::string targets;      // status, update all: a JSON array, one object per target ("" none)
};

// text as a JSON string, in its quotes.
std::string JsonString(const std::string& text);

// The JSON object of report, one line; seconds is the time the command
// took (below 0: not known, null).
std::string JsonReport(const CliReport& report, double seconds);
