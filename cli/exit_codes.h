// The exit codes of ridorez, which scripts rely on, and the one text of
// each, which --help shows and the README and the man page repeat.
#pragma once

enum CliExit {
    kExitDone = 0,           // done (verify: no difference)
    kExitUsage = 2,          // the command line is wrong
    kExitFile = 3,           // the file cannot be loaded or written, is for another variant, or has
                             // T62 data beyond the rows an update writes
    kExitPort = 4,           // the port cannot be opened (missing, busy, permission, refused, no one
                             // adapter with that serial number), or was lost
    kExitNoDevice = 5,       // no device answered, or another device did
    kExitFailed = 6,         // the device refused or failed the run (with its message)
    kExitDiffers = 7,        // verify found a difference
    kExitInterrupted = 130,  // interrupted (Ctrl-C; SIGTERM or SIGHUP outside an update)
};

// Added to the code of a run that was asked to stop (SIGTERM, SIGHUP) while
// its update ran, which went on to its end: 100 done, 104 port lost, 106
// failed, ...
enum { kExitStopRequested = 100 };

// What each exit code means, in the order --help lists them.
struct CliExitText {
    const char* code;  // "0", "100 + code", ...
    const char* text;
};
extern const CliExitText kCliExitTexts[];
extern const int kCliExitTextCount;
