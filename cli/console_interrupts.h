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
};

extern ConsoleInterruptState consoleInterrupts;
