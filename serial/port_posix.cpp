#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "serial/port_posix.h"
#include "serial/serial_port.h"

namespace {

char deviceDir[512];

int64_t NowMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

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

}  // namespace

void SerialSetDeviceDir(const char* dir) { std::snprintf(deviceDir, sizeof deviceDir, "%s", dir ? dir : ""); }

const char* SerialDeviceDir() {
    if (deviceDir[0]) return deviceDir;
    const char* env = std::getenv("RIDOREZ_COM_DIR");
    return (env && env[0]) ? env : "/tmp/ridorez-com";
}

int PosixOpenComPort(int32_t port) {
    char path[600];
    std::snprintf(path, sizeof path, "%s/com%d", SerialDeviceDir(), static_cast<int>(port));
    int fd = open(path, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return -1;
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        close(fd);
        return -1;
    }
    return fd;
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

int PosixReadFor(int fd, uint8_t* buffer, uint32_t count, uint32_t timeoutMs, uint32_t* got) {
    *got = 0;
    int64_t deadline = NowMs() + timeoutMs;
    while (*got < count) {
        ssize_t n = read(fd, buffer + *got, count - *got);
        if (n > 0) {
            *got += static_cast<uint32_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return 0;
        int64_t left = deadline - NowMs();
        if (left <= 0) break;
        pollfd p = {fd, POLLIN, 0};
        int r = poll(&p, 1, static_cast<int>(left));
        if (r < 0 && errno != EINTR) return 0;
        if (r > 0 && (p.revents & (POLLERR | POLLNVAL))) return 0;
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
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return 0;
        int left = -1;
        if (timeoutMs) {
            int64_t l = deadline - NowMs();
            if (l <= 0) return 0;
            left = static_cast<int>(l);
        }
        pollfd p = {fd, POLLOUT, 0};
        if (poll(&p, 1, left) < 0 && errno != EINTR) return 0;
    }
    return 1;
}
