// The help of ridorez beyond each option's line: the synopsis, what TARGET,
// FILE and PORT may be for a command, a bench where the command runs as
// one, examples, the exit codes it can end with; and the answer to a
// command that does not exist.
#pragma once
#include <string>
#include <vector>

// The command line's names of the targets, from the target table: every
// target, or only those whose memory reads back (verify, backup).
std::vector<std::string> TargetKeys(bool readBackOnly);
// The same as a sentence names them: "t62, psoc or zq3".
std::string TargetKeyList(bool readBackOnly);

// The forms of the command line, above the program's own help.
std::string HelpSynopsis();

// The text below the options of command's --help; "" for the program's own
// --help, which has every exit code.
std::string HelpFooter(const std::string& command);

// "" when word names a command; else what to say of it: that it is no
// command, the command nearest to it, and the commands there are.
std::string UnknownCommandText(const std::string& word, const std::vector<std::string>& commands);
