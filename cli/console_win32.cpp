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

void Put(DWORD which, const char* text) {
    DWORD written = 0;
    WriteFile(GetStdHandle(which), text, static_cast<DWORD>(std::strlen(text)), &written, nullptr);
}

// Runs on a thread of its own that the system starts for each Ctrl-C.
BOOL WINAPI OnControl(DWORD event) {
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
