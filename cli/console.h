// The little the command line needs of the console, one implementation per
// platform (console_posix.cpp, console_win32.cpp): whether an output is a
// terminal and how wide it is, and Ctrl-C.
//
// Ctrl-C comes in two ways (and so do SIGTERM and SIGHUP on POSIX). While nothing runs that must not be cut short
// (a probe, a load, a read-back), it ends the program at once with exit code
// 130, after printing the text given to ConsoleSetInterruptText. While an
// update runs, ConsoleHoldInterrupts(1): Ctrl-C is only counted, and the
// waiting thread wakes up to deal with it.
#pragma once
#include <cstdint>
#include <cstdio>

// The program's name as its user calls it: ridorez, and ridorez-cli on
// Windows, where RIdorez.exe is the dialog program.
extern const char* const kCliName;
// A port as the help's examples name it on this platform.
extern const char* const kCliExamplePort;
// What a user or a script can send this program to stop a station or a
// bench: Windows has no SIGTERM, but a console's Ctrl-Break.
extern const char* const kCliStopRequests;

// Sets the console up: installs the Ctrl-C handling; on POSIX keeps a closed
// pipe on the output from killing the program in the middle of an update; on
// Windows has the console show output as UTF-8, the code page the program's
// manifest gives its ...A calls, so that a path is printed as it is.
void ConsoleSetUp();

// What an interrupt that ends the program at once prints, to standard error
// and to standard output. Kept by pointer: both must stay valid.
void ConsoleSetInterruptText(const char* errorText, const char* outputText);
// The error text of an interrupt that ends a command: "\nridorez: interrupted\n".
const char* ConsoleInterruptedText();

// 1: count interrupts and wake ConsoleWait; 0: end the program at once.
void ConsoleHoldInterrupts(int hold);

// The command's result (its JSON object, or a bench worker's result event)
// has been written: from now on an interrupt ends the program at once with
// code, the result's own exit code, and prints nothing more.
void ConsoleReported(int code);

// Interrupts counted while held.
int ConsoleInterrupts();

// The system's request to stop (POSIX: SIGTERM, or SIGHUP when the terminal
// or the ssh session closes) came while interrupts were held: its name, else
// null. Outside an update such a request ends the program at once, as
// Ctrl-C does; during one it is held as the first Ctrl-C is, but never
// abandons the update: the program stops once the update has ended.
const char* ConsoleStopRequest();

// Windows ends a console program a few seconds after its console window is
// closed (or, for a program run as a service, the user logs off or the
// system shuts down), whatever the program does. After ConsoleHoldClose(1)
// the handler holds the end back for as long as the system allows: the
// program is woken, ConsoleCloseRequest says what happened, and it has
// ConsoleCloseSecondsLeft to write what must be kept and end. Without it,
// the program ends at once. POSIX has no such event: the terminal's close
// is SIGHUP, a request to stop.
void ConsoleHoldClose(int hold);
const char* ConsoleCloseRequest();
double ConsoleCloseSecondsLeft();

// Sleeps for ms, or less when an interrupt comes.
void ConsoleWait(uint32_t ms);

// Ends the program at once with code, without waiting for anything (a worker
// thread that still runs is abandoned), after flushing the standard streams.
[[noreturn]] void ConsoleExitNow(int code);

int ConsoleIsTerminal(FILE* stream);

// Columns of the terminal behind stream (80 when unknown).
int ConsoleColumns(FILE* stream);
