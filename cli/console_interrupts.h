// What the platform's Ctrl-C handler (console_posix.cpp, console_win32.cpp)
// shares with the portable side of the console (console.cpp).
#pragma once
#include <atomic>

struct ConsoleInterruptState {
    std::atomic<int> held{0};        // 1: count interrupts, 0: end at once
    std::atomic<int> count{0};       // interrupts counted while held
    std::atomic<const char*> stopName{nullptr};  // a request to stop while held (SIGTERM, SIGHUP)
    std::atomic<const char*> errorText{""};   // printed when one ends the program
    std::atomic<const char*> outputText{""};
    std::atomic<int> exitCode{130};           // the exit code when one ends the program
    // The console's close (Windows): held, the handler waits while the
    // program writes what must be kept, until the system's time is up.
    std::atomic<int> closeHeld{0};
    std::atomic<const char*> closeName{nullptr};  // what closed it, once it came
    std::atomic<double> closeBy{0};               // when the system ends the program (ConsoleNow's seconds)
};

// The steady clock the close's time is kept on, in seconds.
double ConsoleNow();

extern ConsoleInterruptState consoleInterrupts;
