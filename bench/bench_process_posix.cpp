#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#if defined(__linux__)
#include <sys/prctl.h>
#endif
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

#include <cerrno>
#include <climits>

#include "bench/bench_process.h"

namespace {

// This program's own file, to start it again.
std::string SelfPath() {
#if defined(__APPLE__)
    char path[PATH_MAX];
    uint32_t size = sizeof path;
    if (_NSGetExecutablePath(path, &size) == 0) return path;
#else
    char path[PATH_MAX];
    ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
    if (n > 0) return std::string(path, static_cast<size_t>(n));
#endif
    return "";
}

void KeepFromChildren(int fd) { fcntl(fd, F_SETFD, FD_CLOEXEC); }

int WriteAll(int fd, const std::string& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<size_t>(n);
        else if (n < 0 && errno != EINTR)
            return 0;
    }
    return 1;
}

}  // namespace

int BenchStart(const std::vector<std::string>& args, const std::string& input, BenchProcess* process) {
    std::string self = SelfPath();
    if (self.empty()) return 0;
    int in[2], out[2];
    if (pipe(in) != 0) return 0;
    if (pipe(out) != 0) {
        close(in[0]);
        close(in[1]);
        return 0;
    }
    // The parent's ends go to no later worker: a worker's input ends only
    // when no one else holds it open.
    KeepFromChildren(in[1]);
    KeepFromChildren(out[0]);
    std::vector<std::string> all = {self};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    pid_t parent = getpid();
    pid_t pid = fork();
    if (pid == 0) {
        // A process group of its own: the terminal's Ctrl-C reaches the
        // parent alone.
        setpgid(0, 0);
#if defined(__linux__)
        // A parent that goes away counts as a Ctrl-C: an update runs on,
        // a probe or a read-back ends.
        prctl(PR_SET_PDEATHSIG, SIGINT);
        if (getppid() != parent) _exit(130);
#endif
        (void)parent;
        dup2(in[0], 0);
        dup2(out[1], 1);
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0) dup2(null, 2);
        execv(argv[0], argv.data());
        _exit(127);
    }
    close(in[0]);
    close(out[1]);
    if (pid < 0) {
        close(in[1]);
        close(out[0]);
        return 0;
    }
    fcntl(out[0], F_SETFL, O_NONBLOCK);
    process->id = pid;
    process->output = out[0];
    WriteAll(in[1], input);
    close(in[1]);
    return 1;
}

int BenchReadOutput(BenchProcess* process, std::string* text) {
    if (process->output < 0) return 0;
    int fd = static_cast<int>(process->output);
    char buffer[4096];
    for (;;) {
        ssize_t n = read(fd, buffer, sizeof buffer);
        if (n > 0) {
            text->append(buffer, static_cast<size_t>(n));
            continue;
        }
        if (n < 0 && (errno == EAGAIN || errno == EINTR)) return 1;
        close(fd);
        process->output = -1;
        return 0;
    }
}

int BenchEnded(BenchProcess* process, int* code) {
    if (process->id <= 0) return 1;
    int status = 0;
    pid_t r = waitpid(static_cast<pid_t>(process->id), &status, WNOHANG);
    if (r == 0) return 0;
    if (r == static_cast<pid_t>(process->id))
        *code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    else
        *code = 127;
    process->id = 0;
    return 1;
}

void BenchStop(BenchProcess* process) {
    if (process->id <= 0) return;
    // A Ctrl-C of its own, once a call (two sent at once may arrive as one):
    // the second abandons an update, and the worker gives up its ports the
    // proper way before it ends.
    kill(static_cast<pid_t>(process->id), SIGINT);
}

void BenchKill(BenchProcess* process) {
    if (process->id > 0) kill(static_cast<pid_t>(process->id), SIGKILL);
    if (process->output >= 0) close(static_cast<int>(process->output));
    process->output = -1;
}

std::string BenchReadInput() {
    std::string bytes;
    char buffer[65536];
    for (;;) {
        ssize_t n = read(0, buffer, sizeof buffer);
        if (n > 0)
            bytes.append(buffer, static_cast<size_t>(n));
        else if (n == 0 || errno != EINTR)
            return bytes;
    }
}

int BenchTerminalMoves(FILE*) { return 1; }
