// The close of a console program's console, as Windows delivers it, for a
// program run without a console window of its own to close (under Wine,
// whose console windows end their programs without telling them).
#pragma once
#include <string>

// Delivers event ("close", "logoff" or "shutdown") to the running program
// named exe (its file name, as "ridorez-cli.exe"; of several, the one no
// other of them started): the system's control routine run on a new thread
// in the program with the event, and the program ended as Windows ends it,
// once that thread has returned or after 5 s. Returns 1 with what happened
// in *said, else 0 with why in *said.
int DeliverConsoleClose(const std::string& exe, const std::string& event, std::string* said);
