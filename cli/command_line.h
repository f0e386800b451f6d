// The command line of ridorez, parsed with CLI11:
//
//   ridorez ports [--json]
//   ridorez probe  TARGET PORTS [--log FILE] [--json]
//   ridorez update TARGET FILE PORTS [--log FILE] [--quiet] [--json]
//   ridorez verify t62 FILE PORTS [--log FILE] [--json]
//   ridorez backup t62 FILE --port PORT [--log FILE] [--json]
//   ridorez station TARGET FILE PORTS --records FILE [--csv] [--station NAME] [--again]
//   ridorez release make DIR --name NAME --version V TARGET:FILE... [--force]
//   ridorez status RELEASE --port PORT [--json]
//   ridorez update all RELEASE --port PORT [--json]
//   ridorez --help | --version
//
// PORTS is --port PORT, or several ports for a bench (bench.h): --port A
// --port B ..., --ports FILE, and --retry-failed; --log is then a folder.
#pragma once
#include <string>
#include <vector>

#include "cli/release_command_line.h"

struct CliOptions {
    std::string command;  // ports, probe, update, verify, backup
    std::string target;   // t62, psoc, zq3
    std::string file;
    std::string port;                // the first of ports
    std::vector<std::string> ports;  // --port, as often as given
    std::string portsFile;           // --ports
    bool retryFailed = false;
    bool benchWorker = false;        // a bench's worker process (bench.h)
    std::string log;
    bool quiet = false;
    bool json = false;
    // station (station.h)
    std::string records;             // the records file
    bool csv = false;                // records as CSV rather than JSON lines
    std::string station;             // the station's name in the records ("" the host's name)
    bool again = false;              // the same board may be updated twice in a row
    ReleaseMakeOptions release;  // ridorez release make DIR (DIR in file)
};

extern const char* const kCliVersion;

// Parses argv into options. Returns -1 when a command is to run; otherwise
// the command line was for help or version, or was wrong, its text has been
// printed, and the result is the exit code (0, or kExitUsage).
int ParseCommandLine(int argc, char** argv, CliOptions* options);

// The command line as typed, one line, for the line log.
std::string CommandLineText(int argc, char** argv);
