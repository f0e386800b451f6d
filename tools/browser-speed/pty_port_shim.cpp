// Loaded into Chromium with LD_PRELOAD, so that its Web Serial takes the
// simulator's pseudo-terminal for a USB serial adapter. Two things stand in
// for a real adapter:
//
// - the port listing: Chromium lists a tty from libudev only when its device
//   number lies in a range /proc/tty/drivers marks "serial", and takes the
//   adapter's USB ids from udev's database. Here one tty of the machine's
//   (PTY_PORT_SYSNAME, default ptmx, never opened) answers as the adapter:
//   the first serial range's numbers, DEVNAME the pseudo-terminal
//   (PTY_PORT_PATH), USB 0403:6001 with serial number PTY_PORT_SERIAL
//   (default RZSPEED1). Every other tty answers with no device number, so
//   the browser lists none of the machine's own ports (its console above all).
// - the modem lines: a pseudo-terminal refuses TIOCMGET, TIOCMSET, TIOCMBIS
//   and TIOCMBIC; on a descriptor of PTY_PORT_PATH they act on lines kept
//   here, raised by the open as a real driver's open raises them.
//
// With PTY_PORT_LOG set, each open and close of PTY_PORT_PATH, each change
// of its line speed and each modem-line request is a line there:
// "<CLOCK_MONOTONIC us> <what>".
#include <dlfcn.h>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <mutex>

namespace {

// The kernel's struct termios2 (asm/termbits.h, which cannot be included
// beside <termios.h>): what Chromium sets the line with.
struct KernelTermios2 {
    tcflag_t iflag, oflag, cflag, lflag;
    cc_t line;
    cc_t cc[19];
    speed_t ispeed, ospeed;
};
const unsigned long kSetTermios2 = _IOW('T', 0x2B, KernelTermios2);

const int kMaxFd = 4096;
std::atomic<int> lines[kMaxFd];        // TIOCM_ bits of each descriptor of the port
std::atomic<bool> isPort[kMaxFd];      // the descriptor is the port's
std::mutex logLock;

const char* Env(const char* name, const char* fallback) {
    const char* v = std::getenv(name);
    return v != nullptr && v[0] != '\0' ? v : fallback;
}

template <typename F>
F Next(const char* name) {
    return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

const char* PortPath() { return Env("PTY_PORT_PATH", nullptr); }

void Log(const char* format, ...) {
    const char* path = Env("PTY_PORT_LOG", nullptr);
    if (path == nullptr) return;
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    char text[160];
    int n = std::snprintf(text, sizeof text, "%lld ",
                          static_cast<long long>(now.tv_sec) * 1000000 + now.tv_nsec / 1000);
    va_list args;
    va_start(args, format);
    n += std::vsnprintf(text + n, sizeof text - n, format, args);
    va_end(args);
    if (n >= static_cast<int>(sizeof text) - 1) n = sizeof text - 2;
    text[n++] = '\n';
    std::lock_guard<std::mutex> hold(logLock);
    static auto openFile = Next<int (*)(const char*, int, ...)>("open");
    static auto closeFile = Next<int (*)(int)>("close");
    int fd = openFile(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (write(fd, text, n) < 0) { /* nothing to do about a lost line */ }
    closeFile(fd);
}

bool IsPortPath(const char* path) {
    const char* port = PortPath();
    return port != nullptr && path != nullptr && std::strcmp(path, port) == 0;
}

int Opened(const char* path, int fd) {
    if (fd >= 0 && fd < kMaxFd && IsPortPath(path)) {
        isPort[fd] = true;
        lines[fd] = TIOCM_DTR | TIOCM_RTS;
        Log("open fd %d", fd);
    }
    return fd;
}

bool PortFd(int fd) { return fd >= 0 && fd < kMaxFd && isPort[fd]; }

// The first range /proc/tty/drivers marks "serial": "name /dev/x major
// minor[-minor] serial".
bool SerialNumbers(int* major, int* minor) {
    FILE* f = std::fopen("/proc/tty/drivers", "re");
    if (f == nullptr) return false;
    char line[256];
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f) != nullptr) {
        char name[64], node[64], range[64], type[64];
        if (std::sscanf(line, "%63s %63s %d %63s %63s", name, node, major, range, type) == 5 &&
            std::strcmp(type, "serial") == 0) {
            *minor = std::atoi(range);
            found = true;
        }
    }
    std::fclose(f);
    return found;
}

const char* BaudName(tcflag_t cflag) {
    switch (cflag & CBAUD) {
        case B0: return "0";
        case B1200: return "1200";
        case B2400: return "2400";
        case B4800: return "4800";
        case B9600: return "9600";
        case B19200: return "19200";
        case B38400: return "38400";
        case B57600: return "57600";
        case B115200: return "115200";
        case B230400: return "230400";
        default: return "other";
    }
}

}  // namespace

struct udev_device;

extern "C" {

const char* udev_device_get_property_value(udev_device* device, const char* key) {
    static auto real = Next<const char* (*)(udev_device*, const char*)>("udev_device_get_property_value");
    static auto subsystemOf = Next<const char* (*)(udev_device*)>("udev_device_get_subsystem");
    static auto sysnameOf = Next<const char* (*)(udev_device*)>("udev_device_get_sysname");
    const char* subsystem = subsystemOf(device);
    if (subsystem == nullptr || std::strcmp(subsystem, "tty") != 0 || key == nullptr) return real(device, key);
    const char* sysname = sysnameOf(device);
    bool standIn = sysname != nullptr && PortPath() != nullptr &&
                   std::strcmp(sysname, Env("PTY_PORT_SYSNAME", "ptmx")) == 0;
    bool number = std::strcmp(key, "MAJOR") == 0 || std::strcmp(key, "MINOR") == 0;
    if (!standIn) return number ? nullptr : real(device, key);

    static char major[16], minor[16];
    static std::once_flag once;
    static bool known = false;
    std::call_once(once, [] {
        int ma = 0, mi = 0;
        known = SerialNumbers(&ma, &mi);
        std::snprintf(major, sizeof major, "%d", ma);
        std::snprintf(minor, sizeof minor, "%d", mi);
    });
    if (std::strcmp(key, "MAJOR") == 0) return known ? major : nullptr;
    if (std::strcmp(key, "MINOR") == 0) return known ? minor : nullptr;
    if (std::strcmp(key, "DEVNAME") == 0) return PortPath();
    if (std::strcmp(key, "ID_BUS") == 0) return "usb";
    if (std::strcmp(key, "ID_VENDOR_ID") == 0) return "0403";
    if (std::strcmp(key, "ID_MODEL_ID") == 0) return "6001";
    if (std::strcmp(key, "ID_MODEL_ENC") == 0) return "pty\\x20stand-in";
    if (std::strcmp(key, "ID_SERIAL_SHORT") == 0) return Env("PTY_PORT_SERIAL", "RZSPEED1");
    return real(device, key);
}

int open(const char* path, int flags, ...) {
    static auto real = Next<int (*)(const char*, int, ...)>("open");
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    return Opened(path, real(path, flags, mode));
}

int open64(const char* path, int flags, ...) {
    static auto real = Next<int (*)(const char*, int, ...)>("open64");
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    return Opened(path, real(path, flags, mode));
}

int openat64(int dir, const char* path, int flags, ...) {
    static auto real = Next<int (*)(int, const char*, int, ...)>("openat64");
    va_list args;
    va_start(args, flags);
    mode_t mode = (flags & (O_CREAT | O_TMPFILE)) ? va_arg(args, mode_t) : 0;
    va_end(args);
    return Opened(path, real(dir, path, flags, mode));
}

int close(int fd) {
    static auto real = Next<int (*)(int)>("close");
    if (PortFd(fd)) {
        isPort[fd] = false;
        Log("close fd %d", fd);
    }
    return real(fd);
}

int ioctl(int fd, unsigned long request, ...) {
    static auto real = Next<int (*)(int, unsigned long, ...)>("ioctl");
    va_list args;
    va_start(args, request);
    void* arg = va_arg(args, void*);
    va_end(args);
    if (!PortFd(fd)) return real(fd, request, arg);
    int* bits = static_cast<int*>(arg);
    switch (request) {
        case TIOCMGET:
            *bits = lines[fd];
            return 0;
        case TIOCMSET:
            lines[fd] = *bits & (TIOCM_DTR | TIOCM_RTS);
            Log("TIOCMSET fd %d 0x%x", fd, *bits);
            return 0;
        case TIOCMBIS:
            lines[fd] |= *bits & (TIOCM_DTR | TIOCM_RTS);
            Log("TIOCMBIS fd %d 0x%x", fd, *bits);
            return 0;
        case TIOCMBIC:
            lines[fd] &= ~(*bits & (TIOCM_DTR | TIOCM_RTS));
            Log("TIOCMBIC fd %d 0x%x", fd, *bits);
            return 0;
    }
    int result = real(fd, request, arg);
    if (request == kSetTermios2 || request == TCSETS || request == TCSETSW || request == TCSETSF)
        Log("speed fd %d %s", fd, BaudName(static_cast<const KernelTermios2*>(arg)->cflag));
    return result;
}

}  // extern "C"
