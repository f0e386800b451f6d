#include "console_close.h"

#include <windows.h>
#include <tlhelp32.h>

#include <vector>

namespace {

// How long Windows waits for a closed console's programs.
const DWORD kAllowedMs = 5000;
// The exit code of a console program that the system ended.
const UINT kEndedCode = 0xC000013AU;

// The id of the process named exe that no other of that name started; 0
// when none runs.
DWORD FindProgram(const std::string& exe) {
    HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snapshot == INVALID_HANDLE_VALUE) return 0;
    std::vector<PROCESSENTRY32> found;
    PROCESSENTRY32 entry;
    entry.dwSize = sizeof entry;
    for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry))
        if (lstrcmpiA(entry.szExeFile, exe.c_str()) == 0) found.push_back(entry);
    CloseHandle(snapshot);
    for (const PROCESSENTRY32& p : found) {
        bool child = false;
        for (const PROCESSENTRY32& q : found) child = child || q.th32ProcessID == p.th32ParentProcessID;
        if (!child) return p.th32ProcessID;
    }
    return 0;
}

}  // namespace

int DeliverConsoleClose(const std::string& exe, const std::string& event, std::string* said) {
    DWORD code = event == "close" ? CTRL_CLOSE_EVENT
                 : event == "logoff" ? CTRL_LOGOFF_EVENT
                 : event == "shutdown" ? CTRL_SHUTDOWN_EVENT
                                       : 0xFFFFFFFFU;
    if (code == 0xFFFFFFFFU) {
        *said = "no event '" + event + "' (close, logoff, shutdown)";
        return 0;
    }
    DWORD id = FindProgram(exe);
    if (id == 0) {
        *said = "no program " + exe + " runs";
        return 0;
    }
    HANDLE program = OpenProcess(PROCESS_ALL_ACCESS, FALSE, id);
    if (program == nullptr) {
        *said = "cannot open " + exe + " (error " + std::to_string(GetLastError()) + ")";
        return 0;
    }
    // The routine that calls a console program's handlers: the same in
    // every process, as the system's libraries are.
    LPTHREAD_START_ROUTINE routine = nullptr;
    if (FARPROC found = GetProcAddress(GetModuleHandleA("kernelbase.dll"), "CtrlRoutine"))
        routine = reinterpret_cast<LPTHREAD_START_ROUTINE>(reinterpret_cast<void*>(found));
    if (routine == nullptr) {
        CloseHandle(program);
        *said = "no control routine in kernelbase.dll";
        return 0;
    }
    DWORD started = GetTickCount();
    HANDLE thread = CreateRemoteThread(program, nullptr, 0, routine,
                                       reinterpret_cast<void*>(static_cast<ULONG_PTR>(code)), 0, nullptr);
    if (thread == nullptr) {
        CloseHandle(program);
        *said = "cannot start the control routine in " + exe + " (error " + std::to_string(GetLastError()) + ")";
        return 0;
    }
    // The handler's thread ends before the program does when the program
    // ends itself: a moment later, it has ended.
    DWORD waited = WaitForSingleObject(thread, kAllowedMs);
    DWORD ms = GetTickCount() - started;
    if (WaitForSingleObject(program, 500) == WAIT_OBJECT_0) {
        DWORD exitCode = 0;
        GetExitCodeProcess(program, &exitCode);
        *said = exe + " ended itself after " + std::to_string(ms) + " ms, exit code " + std::to_string(exitCode);
    } else {
        TerminateProcess(program, kEndedCode);
        WaitForSingleObject(program, kAllowedMs);
        *said = exe + (waited == WAIT_OBJECT_0 ? " ended once its handler returned, after "
                                               : " ended with its handler still running, after ") +
                std::to_string(ms) + " ms";
    }
    CloseHandle(thread);
    CloseHandle(program);
    return 1;
}
