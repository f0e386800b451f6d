// The portable side of the console: what Ctrl-C does, as the platform's
// handler finds it.
#include "cli/console.h"
#include "cli/console_interrupts.h"

#include <chrono>
#include <string>

ConsoleInterruptState consoleInterrupts;

void ConsoleSetInterruptText(const char* error, const char* output) {
    consoleInterrupts.errorText.store(error);
    consoleInterrupts.outputText.store(output);
}

const char* ConsoleInterruptedText() {
    static const std::string text = std::string("\n") + kCliName + ": interrupted\n";
    return text.c_str();
}

void ConsoleHoldInterrupts(int hold) { consoleInterrupts.held.store(hold); }

void ConsoleReported(int code) {
    consoleInterrupts.errorText.store("");
    consoleInterrupts.outputText.store("");
    consoleInterrupts.exitCode.store(code);
    consoleInterrupts.held.store(0);
}

int ConsoleInterrupts() { return consoleInterrupts.count.load(); }

const char* ConsoleStopRequest() { return consoleInterrupts.stopName.load(); }

double ConsoleNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

void ConsoleHoldClose(int hold) { consoleInterrupts.closeHeld.store(hold); }

const char* ConsoleCloseRequest() { return consoleInterrupts.closeName.load(); }

double ConsoleCloseSecondsLeft() {
    if (consoleInterrupts.closeName.load() == nullptr) return 0;
    double left = consoleInterrupts.closeBy.load() - ConsoleNow();
    return left > 0 ? left : 0;
}
