// The command line of ridorez, parsed with CLI11:
//
//   ridorez ports
//   ridorez probe  TARGET --port PORT
//   ridorez update TARGET FILE --port PORT [--log FILE] [--quiet] [--json]
//   ridorez verify t62 FILE --port PORT [--log FILE] [--json]
//   ridorez backup t62 FILE --port PORT [--log FILE]
//   ridorez --help | --version
#pragma once
#include <string>

struct CliOptions {
    std::string command;  // ports, probe, update, verify, backup
    std::string target;   // t62, psoc, zq3
    std::string file;
    std::string port;
    std::string log;
    bool quiet = false;
    bool json = false;
};

extern const char* const kCliVersion;

// Parses argv into options. Returns -1 when a command is to run; otherwise
// the command line was for help or version, or was wrong, its text has been
// printed, and the result is the exit code (0, or kExitUsage).
int ParseCommandLine(int argc, char** argv, CliOptions* options);

// The command line as typed, one line, for the line log.
std::string CommandLineText(int argc, char** argv);
