#include "cli/exit_codes.h"

const CliExitText kCliExitTexts[] = {
    {"0", "done (verify: no difference)"},
    {"2", "usage: the command line is wrong (or --log names the command's FILE)"},
    {"3", "the file cannot be loaded (or written), is for another ZQ3 variant, or has T62 data beyond the rows "
          "an update writes"},
    {"4", "the port cannot be opened (missing, busy, permission, a COMn refused, serial= naming no adapter or "
          "several), or was lost during the run"},
    {"5", "no device answered, or another device did"},
    {"6", "the update (or read-back) failed, with its message"},
    {"7", "verify found a difference"},
    {"100 + code", "asked to stop (SIGTERM, SIGHUP) during an update, which ran to its end with that code (100 "
                   "done, 104 port lost, 106 failed)"},
    {"130", "interrupted (Ctrl-C; SIGTERM or SIGHUP outside an update)"},
};
const int kCliExitTextCount = sizeof kCliExitTexts / sizeof kCliExitTexts[0];
