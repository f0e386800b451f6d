#include <windows.h>
#include <io.h>

#include <cstdlib>
#include <cstring>

#include "cli/console.h"
#include "cli/console_interrupts.h"

const char* const kCliName = "ridorez-cli";
const char* const kCliExamplePort = "COM12";
const char* const kCliStopRequests = "Ctrl-C or Ctrl-Break";

namespace {

HANDLE wake = nullptr;  // set by the handler, waited on by ConsoleWait

// The system ends a console program this long after its console has
// closed, when its handler has not returned by then; the handler gives the
// program all but a margin of it.
const DWORD kCloseAllowedMs = 5000;
const DWORD kCloseMarginMs = 500;

const char* ClosedBy(DWORD event) {
    switch (event) {
        case CTRL_CLOSE_EVENT: return "the console window was closed";
        case CTRL_LOGOFF_EVENT: return "the user logged off";
        case CTRL_SHUTDOWN_EVENT: return "the system shuts down";
    }
    return nullptr;
}

void Put(DWORD which, const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(which), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// Runs on a thread of its own that the system starts for each Ctrl-C, and
// for the console's close.
BOOL WINAPI OnControl(DWORD event) {
    if (const char* closed = ClosedBy(event)) {
        if (!consoleInterrupts.closeHeld.load()) return FALSE;
        const DWORD ms = kCloseAllowedMs - kCloseMarginMs;
        consoleInterrupts.closeBy.store(ConsoleNow() + ms / 1000.0);
        consoleInterrupts.closeName.store(closed);
        if (wake != nullptr) SetEvent(wake);
        // Once this returns the system ends the program: the program ends
        // itself sooner when it is done.
        Sleep(ms);
        return TRUE;
    }
    if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT) return FALSE;
    if (!consoleInterrupts.held.load()) {
        Put(STD_ERROR_HANDLE, consoleInterrupts.errorText.load());
        Put(STD_OUTPUT_HANDLE, consoleInterrupts.outputText.load());
        ExitProcess(static_cast<UINT>(consoleInterrupts.exitCode.load()));
    }
    consoleInterrupts.count.fetch_add(1);
    if (wake != nullptr) SetEvent(wake);
    return TRUE;
}

}  // namespace

void ConsoleSetUp() {
    SetConsoleOutputCP(CP_UTF8);
    wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    SetConsoleCtrlHandler(OnControl, TRUE);
}

void ConsoleWait(uint32_t ms) {
    if (wake == nullptr)
        Sleep(ms);
    else
        WaitForSingleObject(wake, ms);
}

void ConsoleExitNow(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    ExitProcess(static_cast<UINT>(code));
}

int ConsoleIsTerminal(FILE* stream) { return _isatty(_fileno(stream)); }

int ConsoleColumns(FILE* stream) {
    CONSOLE_SCREEN_BUFFER_INFO info;
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    if (GetConsoleScreenBufferInfo(h, &info)) return info.srWindow.Right - info.srWindow.Left + 1;
    return 80;
}
