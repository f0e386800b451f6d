// Low latency on the line: a USB serial adapter holds the bytes it receives
// until its packet is full or its latency timer runs out (16 ms on an FTDI
// chip), and every reply of a request/reply protocol waits for that timer.
// Asked for at every open; a driver that does not take it costs time only.
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

#include "core/line_log.h"
#include "serial/port_posix.h"

#if defined(__linux__)
#include <linux/serial.h>
#endif

#if defined(__APPLE__)
#if __has_include(<IOKit/serial/ioss.h>)
#include <IOKit/serial/ioss.h>
#endif
#ifndef IOSSDATALAT
// IOKit's serial ioctl: how long the driver may hold received bytes, in
// microseconds.
#define IOSSDATALAT _IOW('T', 0, unsigned long)
#endif
#endif

int PosixAskLowLatency(int fd) {
#if defined(__linux__)
    // Linux: the serial flag ASYNC_LOW_LATENCY, which ftdi_sio turns into a
    // 1 ms latency timer. An ordinary user may set it (ASYNC_USR_MASK).
    serial_struct info;
    std::memset(&info, 0, sizeof info);
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) {
        LineLogNote("low latency asked (ASYNC_LOW_LATENCY): the driver has no serial settings (%s), going on without",
                    std::strerror(errno));
        return -1;
    }
    if (info.flags & ASYNC_LOW_LATENCY) {
        LineLogNote("low latency asked (ASYNC_LOW_LATENCY): already on");
        return -1;
    }
    int before = info.flags;
    info.flags |= ASYNC_LOW_LATENCY;
    if (ioctl(fd, TIOCSSERIAL, &info) != 0) {
        LineLogNote("low latency asked (ASYNC_LOW_LATENCY): refused (%s), going on without", std::strerror(errno));
        return -1;
    }
    serial_struct now;
    std::memset(&now, 0, sizeof now);
    if (ioctl(fd, TIOCGSERIAL, &now) != 0 || !(now.flags & ASYNC_LOW_LATENCY)) {
        LineLogNote("low latency asked (ASYNC_LOW_LATENCY): not kept by the driver, going on without");
        return -1;
    }
    LineLogNote("low latency asked (ASYNC_LOW_LATENCY): taken");
    return before;
#elif defined(__APPLE__)
    // macOS: the receive latency of the port, which the drivers of USB
    // serial adapters take; a pseudo-terminal refuses it.
    unsigned long us = 1000;
    if (ioctl(fd, IOSSDATALAT, &us) != 0) {
        LineLogNote("low latency asked (IOSSDATALAT 1000 us): refused (%s), going on without", std::strerror(errno));
    } else {
        LineLogNote("low latency asked (IOSSDATALAT 1000 us): taken");
    }
    return -1;
#else
    (void)fd;
    return -1;
#endif
}

void PosixRestoreLatency(int fd, int flags) {
#if defined(__linux__)
    // Put back as the port was found, for the programs that open it next; a
    // port that has gone has nothing to put back.
    if (flags < 0) return;
    serial_struct info;
    std::memset(&info, 0, sizeof info);
    if (ioctl(fd, TIOCGSERIAL, &info) != 0) return;
    info.flags = (info.flags & ~ASYNC_LOW_LATENCY) | (flags & ASYNC_LOW_LATENCY);
    ioctl(fd, TIOCSSERIAL, &info);
#else
    (void)fd;
    (void)flags;
#endif
}
