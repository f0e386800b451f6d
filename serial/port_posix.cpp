#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/select.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "core/line_log.h"
#include "serial/com_folder.h"
#include "serial/port_fault.h"
#include "serial/port_open.h"
#include "serial/port_posix.h"
#include "serial/serial_port.h"

namespace {

// The descriptors open for exclusive use, for SerialAbandonPorts.
const int kMaxOpen = 8;
std::atomic<int> openDevices[kMaxOpen] = {{-1}, {-1}, {-1}, {-1}, {-1}, {-1}, {-1}, {-1}};

// Puts to in the first slot that holds from.
void ReplaceOpenDevice(int from, int to) {
    for (std::atomic<int>& slot : openDevices) {
        int expected = from;
        if (slot.compare_exchange_strong(expected, to)) return;
    }
}

void RememberOpenDevice(int fd) { ReplaceOpenDevice(-1, fd); }
void ForgetOpenDevice(int fd) { ReplaceOpenDevice(fd, -1); }

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// Linux, macOS and FreeBSD all name these speeds in <termios.h> (macOS and
// FreeBSD give each name the baud itself as its value, Linux a code).
speed_t SpeedFor(uint32_t baud) {
    switch (baud) {
        case 1200: return B1200;
        case 2400: return B2400;
        case 4800: return B4800;
        case 9600: return B9600;
        case 19200: return B19200;
        case 38400: return B38400;
        case 57600: return B57600;
        case 115200: return B115200;
        case 230400: return B230400;
        default: return B0;
    }
}

// Who may open path besides its owner: the name of its group when the
// group may read and write it and is not root's own.
void AccessGroup(const char* path, char* name, size_t size) {
    name[0] = '\0';
    struct stat st;
    if (stat(path, &st) != 0 || (st.st_mode & (S_IRGRP | S_IWGRP)) != (S_IRGRP | S_IWGRP)) return;
    if (st.st_gid == 0) return;
    const group* g = getgrgid(st.st_gid);
    if (g != nullptr && g->gr_name != nullptr)
        std::snprintf(name, size, "%s", g->gr_name);
    else
        std::snprintf(name, size, "%u", static_cast<unsigned>(st.st_gid));
}

void NoteOpenFailure(const char* path, int error) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
        case EIO:  // a node whose hardware is not there
            SetPortFault(kPortMissing, std::strerror(error));
            return;
        case EACCES:
        case EPERM: {
            char name[64];
            AccessGroup(path, name, sizeof name);
            SetPortFault(kPortDenied, name);
            return;
        }
        case EBUSY:
        case EWOULDBLOCK:
            SetPortFault(kPortBusy, std::strerror(error));
            return;
        case EISDIR:
        case ENOTDIR:
            SetPortFault(kPortNotSerial, std::strerror(error));
            return;
    }
    SetPortFault(kPortFailed, std::strerror(error));
}

// poll() on the device, or select() where poll() cannot wait on one: macOS's
// poll(2) says under BUGS "The poll() system call currently does not support
// devices". There a readable device that then reads nothing has hung up (a
// terminal with VMIN 0 is readable only with input or when hung up), so a
// readable one is reported with POLLHUP too: the reader reads it first and
// calls it gone only when nothing comes.
int WaitFor(pollfd* p, int ms) {
#if defined(__APPLE__)
    fd_set set;
    FD_ZERO(&set);
    FD_SET(p->fd, &set);
    timeval limit = {ms / 1000, (ms % 1000) * 1000};
    bool reading = (p->events & POLLIN) != 0;
    int r = select(p->fd + 1, reading ? &set : nullptr, reading ? nullptr : &set, nullptr, ms < 0 ? nullptr : &limit);
    p->revents = r > 0 ? (reading ? POLLIN | POLLHUP : POLLOUT) : 0;
    return r;
#else
    return poll(p, 1, ms);
#endif
}

// Sleeps for as long as count bytes take on the line at baud, but not past
// deadline.
void AwaitLine(uint32_t count, uint32_t baud, int64_t deadline) {
    int64_t us = static_cast<int64_t>(count) * 10 * 1000000 / baud;
    int64_t left = (deadline - NowMs()) * 1000;
    if (us > left) us = left;
    if (us > 0) std::this_thread::sleep_for(std::chrono::microseconds(us));
}

// A descriptor that failed in a transfer: the device has gone (unplugged,
// or the other side of a pseudo-terminal closed). Notes why and returns 0,
// the failed transfer's result.
int PortGoneFailure(int error) {
    SetPortFault(kPortGone, error ? std::strerror(error) : "hung up");
    LineLogNote("port error: %s", LastPortFault().detail);
    return 0;
}

// A write that did not finish in its time: the line stopped taking bytes,
// which leaves the run as stuck as a device that has gone.
int StoppedTaking(uint32_t written, uint32_t count, uint32_t timeoutMs) {
    char text[96];
    std::snprintf(text, sizeof text, "the line took %lu of %lu bytes in %lu ms", static_cast<unsigned long>(written),
                  static_cast<unsigned long>(count), static_cast<unsigned long>(timeoutMs));
    SetPortFault(kPortGone, text);
    LineLogNote("port error: %s", text);
    return 0;
}

}  // namespace

int PosixOpenDevice(const char* path) {
    char why[sizeof(PortFault::detail)];
    if (!ComFolderTrusted(path, why, sizeof why)) {
        SetPortFault(kPortUntrusted, why);
        return -1;
    }
    // Non-blocking, so that the open does not wait for a carrier; the reads
    // and writes wait for the device (WaitFor).
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        NoteOpenFailure(path, errno);
        return -1;
    }
    // Only "already locked" means busy. flock(2) of macOS may refuse a device
    // node ("ENOTSUP: the referenced descriptor is not of the correct type",
    // or EINVAL), FreeBSD's one that does not support locking (EOPNOTSUPP):
    // then TIOCEXCL alone keeps the port ours.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        NoteOpenFailure(path, errno);
        close(fd);
        return -1;
    }
    // Fails on what is no terminal; the channel's tcgetattr then says so.
    ioctl(fd, TIOCEXCL);
    RememberOpenDevice(fd);
    return fd;
}

void PosixCloseDevice(int fd) {
    ForgetOpenDevice(fd);
    ioctl(fd, TIOCNXCL);
    close(fd);
}

void SerialAbandonPorts() {
    for (std::atomic<int>& slot : openDevices) {
        int fd = slot.load();
        if (fd >= 0) ioctl(fd, TIOCNXCL);
    }
}

void PosixNoteNotSerial() {
    if (errno == ENOTTY || errno == EINVAL)
        SetPortFault(kPortNotSerial, std::strerror(errno));
    else
        SetPortFault(kPortFailed, std::strerror(errno));
}

int PosixSetLine(int fd, uint32_t baud) {
    speed_t speed = SpeedFor(baud);
    if (speed == B0) return 0;
    termios tio;
    if (tcgetattr(fd, &tio) != 0) return 0;
    cfmakeraw(&tio);
    tio.c_cflag &= ~(CSTOPB | PARENB | CRTSCTS | CSIZE);
    tio.c_cflag |= CS8 | CLOCAL | CREAD;
    tio.c_iflag &= ~(IXON | IXOFF | IXANY);
    tio.c_cc[VMIN] = 0;
    tio.c_cc[VTIME] = 0;
    cfsetispeed(&tio, speed);
    cfsetospeed(&tio, speed);
    return tcsetattr(fd, TCSANOW, &tio) == 0 ? 1 : 0;
}

// TIOCMBIS and TIOCMBIC take a pointer to the TIOCM_ bits on Linux
// (tty_ioctl(4)), macOS and FreeBSD (tty(4)) alike.
void PosixSetModemLines(int fd, int dtr, int rts) {
    int on = (dtr ? TIOCM_DTR : 0) | (rts ? TIOCM_RTS : 0);
    int off = (dtr ? 0 : TIOCM_DTR) | (rts ? 0 : TIOCM_RTS);
    if (on) ioctl(fd, TIOCMBIS, &on);
    if (off) ioctl(fd, TIOCMBIC, &off);
}

int PosixReadFor(int fd, uint8_t* buffer, uint32_t count, uint32_t timeoutMs, uint32_t baud, uint32_t* got) {
    *got = 0;
    int64_t deadline = NowMs() + timeoutMs;
    while (*got < count) {
        ssize_t n = read(fd, buffer + *got, count - *got);
        if (n > 0) {
            *got += static_cast<uint32_t>(n);
            // A reply is on its way, and the rest of it cannot come sooner
            // than the line carries it; a pseudo-terminal at the line's pace
            // would otherwise wake us for each of its bytes.
            if (baud != 0 && *got < count) AwaitLine(count - *got, baud, deadline);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return PortGoneFailure(errno);
        int64_t left = deadline - NowMs();
        if (left <= 0) break;
        pollfd p = {fd, POLLIN, 0};
        int r = WaitFor(&p, static_cast<int>(left));
        if (r < 0 && errno != EINTR) return PortGoneFailure(errno);
        // A hang-up with nothing left to read: the read above found nothing.
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL | POLLHUP))) {
            n = read(fd, buffer + *got, count - *got);
            if (n > 0) {
                *got += static_cast<uint32_t>(n);
                continue;
            }
            return PortGoneFailure(n < 0 ? errno : 0);
        }
    }
    return 1;
}

int PosixWriteAll(int fd, const uint8_t* bytes, uint32_t count, uint32_t timeoutMs, uint32_t* written) {
    *written = 0;
    int64_t deadline = NowMs() + timeoutMs;
    while (*written < count) {
        ssize_t n = write(fd, bytes + *written, count - *written);
        if (n > 0) {
            *written += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return PortGoneFailure(errno);
        int left = -1;
        if (timeoutMs) {
            int64_t l = deadline - NowMs();
            if (l <= 0) return StoppedTaking(*written, count, timeoutMs);
            left = static_cast<int>(l);
        }
        pollfd p = {fd, POLLOUT, 0};
        int r = WaitFor(&p, left);
        if (r < 0 && errno != EINTR) return PortGoneFailure(errno);
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL | POLLHUP))) return PortGoneFailure(0);
    }
    return 1;
}

int32_t PortOpenSystemLine(const char* device, const PortLine& line, PortHandle* port) {
    *port = nullptr;
    int fd = PosixOpenDevice(device);
    if (fd < 0) return kSerialOpenFailed;
    PosixPort* opened = new PosixPort{fd, line.readTimeoutMs, line.baud};
    int32_t result = 0;
    termios tio;
    if (tcgetattr(fd, &tio) != 0) {
        PosixNoteNotSerial();
        result = kSerialGetStateFailed;
    } else if (!PosixSetLine(fd, line.baud)) {
        result = kSerialSetStateFailed;
    } else {
        opened->latencyFlags = PosixAskLowLatency(fd);
        // As the Windows line set-up: DTR on for the keyer, RTS off.
        PosixSetModemLines(fd, line.keyer ? 1 : 0, 0);
        PlatformSleep(100);
        if (tcflush(fd, TCIFLUSH) != 0) result = kSerialPurgeFailed;
    }
    *port = opened;
    return result;
}

void PortCloseLine(PortHandle handle) {
    PosixPort* port = static_cast<PosixPort*>(handle);
    if (port == nullptr) return;
    PosixRestoreLatency(port->fd, port->latencyFlags);
    PosixCloseDevice(port->fd);
    delete port;
}
