#include "tests/integration/sim_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#ifndef DEVSIM_PATH
#error "DEVSIM_PATH must name the simulator binary"
#endif

int64_t NowMs() {
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

namespace {

void SleepMs(int ms) { usleep(static_cast<useconds_t>(ms) * 1000); }

speed_t SpeedOf(uint32_t baud) {
    switch (baud) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        default: return B0;
    }
}

// Waits up to timeoutMs for the child to end. Returns its status, or -2
// when it is still running.
int WaitChild(pid_t pid, int timeoutMs) {
    int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        int status = 0;
        pid_t r = waitpid(pid, &status, WNOHANG);
        if (r == pid) return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        if (r < 0) return -1;
        if (NowMs() >= deadline) return -2;
        SleepMs(5);
    }
}

}  // namespace

bool StartSim(SimProcess* sim, const std::vector<std::string>& args) {
    char pattern[] = "/tmp/devsim-test.XXXXXX";
    if (!mkdtemp(pattern)) return false;
    sim->dir = pattern;
    sim->link = sim->dir + "/com4";
    sim->transcript = sim->dir + "/transcript.txt";
    sim->memory = sim->dir + "/memory";
    sim->log = sim->dir + "/devsim.log";

    std::vector<std::string> all = {DEVSIM_PATH, "--link", sim->link, "--transcript", sim->transcript,
                                    "--memory", sim->memory};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);

    pid_t pid = fork();
    if (pid < 0) return false;
    if (pid == 0) {
        int log = open(sim->log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        if (log >= 0) {
            dup2(log, 1);
            dup2(log, 2);
            close(log);
        }
        execv(argv[0], argv.data());
        _exit(127);
    }
    sim->pid = pid;
    int64_t deadline = NowMs() + 5000;
    struct stat st;
    while (lstat(sim->link.c_str(), &st) != 0) {
        bool ended = WaitChild(pid, 0) != -2;
        if (ended || NowMs() >= deadline) {
            if (!ended) {
                kill(pid, SIGKILL);
                WaitChild(pid, 1000);
            }
            sim->pid = -1;
            return false;
        }
        SleepMs(5);
    }
    return true;
}

int StopSim(SimProcess* sim) {
    if (sim->pid <= 0) return -1;
    kill(sim->pid, SIGTERM);
    int status = WaitChild(sim->pid, 5000);
    if (status == -2) {
        kill(sim->pid, SIGKILL);
        WaitChild(sim->pid, 1000);
        status = -1;
    }
    sim->pid = -1;
    return status;
}

void RemoveSimDir(SimProcess* sim) {
    StopSim(sim);
    if (sim->dir.empty()) return;
    std::string command = "rm -rf '" + sim->dir + "'";
    if (std::system(command.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", sim->dir.c_str());
    sim->dir.clear();
}

bool SetLineBaud(int fd, uint32_t baud) {
    termios tio;
    if (tcgetattr(fd, &tio) != 0) return false;
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, SpeedOf(baud));
    cfsetospeed(&tio, SpeedOf(baud));
    return tcsetattr(fd, TCSANOW, &tio) == 0;
}

int OpenLine(const std::string& path, uint32_t baud) {
    int fd = open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (!SetLineBaud(fd, baud)) {
        close(fd);
        return -1;
    }
    tcflush(fd, TCIFLUSH);
    return fd;
}

bool WriteLine(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
        } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
            return false;
        } else {
            pollfd p = {fd, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
    return true;
}

std::vector<uint8_t> ReadLine(int fd, size_t count, int timeoutMs) {
    std::vector<uint8_t> got;
    int64_t deadline = NowMs() + timeoutMs;
    while (got.size() < count) {
        uint8_t buffer[512];
        size_t want = count - got.size() < sizeof buffer ? count - got.size() : sizeof buffer;
        ssize_t n = read(fd, buffer, want);
        if (n > 0) {
            got.insert(got.end(), buffer, buffer + n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) break;
        int64_t left = deadline - NowMs();
        if (left <= 0) break;
        pollfd p = {fd, POLLIN, 0};
        poll(&p, 1, static_cast<int>(left));
    }
    return got;
}

std::string ReadTextFile(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<uint8_t> ReadBinaryFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool WaitForTranscript(const SimProcess& sim, const std::string& text, int timeoutMs) {
    int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        if (ReadTextFile(sim.transcript).find(text) != std::string::npos) return true;
        if (NowMs() >= deadline) return false;
        SleepMs(10);
    }
}
