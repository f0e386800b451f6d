#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "cli/console.h"
#include "cli/console_interrupts.h"
#include "serial/serial_port.h"

const char* const kCliName = "ridorez";
const char* const kCliExamplePort = "/dev/ttyUSB0";
const char* const kCliStopRequests = "Ctrl-C or SIGTERM";

namespace {

int wakeRead = -1, wakeWrite = -1;  // the handler wakes ConsoleWait through this pipe

void OnInterrupt(int signal) {
    int saved = errno;
    if (!consoleInterrupts.held.load()) {
        const char* text = consoleInterrupts.errorText.load();
        ssize_t ignored = write(STDERR_FILENO, text, std::strlen(text));
        text = consoleInterrupts.outputText.load();
        ignored = write(STDOUT_FILENO, text, std::strlen(text));
        (void)ignored;
        SerialAbandonPorts();
        _exit(consoleInterrupts.exitCode.load());
    }
    if (signal == SIGINT)
        consoleInterrupts.count.fetch_add(1);
    else
        consoleInterrupts.stopName.store(signal == SIGHUP ? "SIGHUP" : "SIGTERM");
    char byte = 1;
    ssize_t ignored = write(wakeWrite, &byte, 1);
    (void)ignored;
    errno = saved;
}

}  // namespace

void ConsoleSetUp() {
    int fds[2];
    if (pipe(fds) == 0) {
        wakeRead = fds[0];
        wakeWrite = fds[1];
        fcntl(wakeRead, F_SETFL, O_NONBLOCK);
        fcntl(wakeWrite, F_SETFL, O_NONBLOCK);
        fcntl(wakeRead, F_SETFD, FD_CLOEXEC);
        fcntl(wakeWrite, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
    // A reader that goes away (ridorez update ... | head) must not stop an
    // update halfway: writes to it fail instead.
    signal(SIGPIPE, SIG_IGN);
}

void ConsoleWait(uint32_t ms) {
    if (wakeRead < 0) {
        usleep(ms * 1000);
        return;
    }
    pollfd p = {wakeRead, POLLIN, 0};
    poll(&p, 1, static_cast<int>(ms));
    char drain[16];
    while (read(wakeRead, drain, sizeof drain) > 0) {
    }
}

void ConsoleExitNow(int code) {
    std::fflush(stdout);
    std::fflush(stderr);
    SerialAbandonPorts();
    _exit(code);
}

int ConsoleIsTerminal(FILE* stream) { return isatty(fileno(stream)); }

int ConsoleColumns(FILE* stream) {
    winsize size;
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0) return size.ws_col;
    return 80;
}
