#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include "bench/bench_process.h"

namespace {

// One argument as the C runtime's parser reads it back.
std::string Quoted(const std::string& arg) {
    if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
    std::string out = "\"";
    size_t slashes = 0;
    for (char c : arg) {
        if (c == '\\') {
            ++slashes;
            continue;
        }
        if (c == '"') slashes = slashes * 2 + 1;
        out.append(slashes, '\\');
        slashes = 0;
        out.push_back(c);
    }
    out.append(slashes * 2, '\\');
    out.push_back('"');
    return out;
}

HANDLE Handle(intptr_t value) { return reinterpret_cast<HANDLE>(value); }

}  // namespace

int BenchStart(const std::vector<std::string>& args, const std::string& input, BenchProcess* process) {
    char self[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, self, sizeof self);
    if (length == 0 || length >= sizeof self) return 0;
    std::string command = Quoted(self);
    for (const std::string& a : args) command.append(" ").append(Quoted(a));

    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE inRead, inWrite, outRead, outWrite;
    if (!CreatePipe(&inRead, &inWrite, &inherit, 0)) return 0;
    if (!CreatePipe(&outRead, &outWrite, &inherit, 0)) {
        CloseHandle(inRead);
        CloseHandle(inWrite);
        return 0;
    }
    // The parent's ends go to no worker.
    SetHandleInformation(inWrite, HANDLE_FLAG_INHERIT, 0);
    SetHandleInformation(outRead, HANDLE_FLAG_INHERIT, 0);
    HANDLE null = CreateFileA("NUL", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit, OPEN_EXISTING, 0,
                              nullptr);
    STARTUPINFOA start;
    ZeroMemory(&start, sizeof start);
    start.cb = sizeof start;
    start.dwFlags = STARTF_USESTDHANDLES;
    start.hStdInput = inRead;
    start.hStdOutput = outWrite;
    start.hStdError = null;
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    // A console of its own that nobody sees: the user's Ctrl-C reaches the
    // parent alone.
    BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr, nullptr,
                                  &start, &info);
    CloseHandle(inRead);
    CloseHandle(outWrite);
    if (null != INVALID_HANDLE_VALUE) CloseHandle(null);
    if (!started) {
        CloseHandle(inWrite);
        CloseHandle(outRead);
        return 0;
    }
    CloseHandle(info.hThread);
    process->id = reinterpret_cast<intptr_t>(info.hProcess);
    process->output = reinterpret_cast<intptr_t>(outRead);
    size_t done = 0;
    while (done < input.size()) {
        DWORD written = 0;
        DWORD chunk = static_cast<DWORD>(input.size() - done > 65536 ? 65536 : input.size() - done);
        if (!WriteFile(inWrite, input.data() + done, chunk, &written, nullptr) || written == 0) break;
        done += written;
    }
    CloseHandle(inWrite);
    return 1;
}

int BenchReadOutput(BenchProcess* process, std::string* text) {
    if (process->output == -1) return 0;
    HANDLE pipe = Handle(process->output);
    for (;;) {
        DWORD waiting = 0;
        if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr)) break;
        if (waiting == 0) return 1;
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(pipe, buffer, waiting < sizeof buffer ? waiting : sizeof buffer, &got, nullptr)) break;
        text->append(buffer, got);
    }
    CloseHandle(pipe);
    process->output = -1;
    return 0;
}

int BenchEnded(BenchProcess* process, int* code) {
    if (process->id == 0) return 1;
    HANDLE h = Handle(process->id);
    if (WaitForSingleObject(h, 0) == WAIT_TIMEOUT) return 0;
    DWORD exitCode = 127;
    GetExitCodeProcess(h, &exitCode);
    *code = static_cast<int>(exitCode);
    CloseHandle(h);
    process->id = 0;
    return 1;
}

void BenchStop(BenchProcess* process) {
    // A console nobody sees takes no Ctrl-C from here: the worker is ended,
    // and the system lets go of its port.
    if (process->id != 0) TerminateProcess(Handle(process->id), 130);
}

void BenchKill(BenchProcess* process) {
    if (process->id != 0) TerminateProcess(Handle(process->id), 137);
    if (process->output != -1) CloseHandle(Handle(process->output));
    process->output = -1;
}

std::string BenchReadInput() {
    _setmode(_fileno(stdin), _O_BINARY);
    std::string bytes;
    char buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, stdin)) > 0) bytes.append(buffer, n);
    return bytes;
}

int BenchTerminalMoves(FILE* stream) {
    HANDLE h = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(stream)));
    DWORD mode = 0;
    if (!GetConsoleMode(h, &mode)) return 0;
    return SetConsoleMode(h, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING) ? 1 : 0;
}
