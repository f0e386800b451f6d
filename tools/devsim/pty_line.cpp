#include "tools/devsim/pty_line.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/devsim/adapter.h"

namespace {

struct SpeedName {
    speed_t speed;
    uint32_t baud;
};

const SpeedName kSpeeds[] = {
    {B50, 50},       {B75, 75},       {B110, 110},       {B134, 134},       {B150, 150},     {B200, 200},
    {B300, 300},     {B600, 600},     {B1200, 1200},     {B1800, 1800},     {B2400, 2400},   {B4800, 4800},
    {B9600, 9600},   {B19200, 19200}, {B38400, 38400},   {B57600, 57600},   {B115200, 115200},
    {B230400, 230400}, {B460800, 460800}, {B921600, 921600},
};

// How long a device waits for the host to take its bytes before it gives up
// on the rest of a reply (only when nobody drains the line).
const int kWriteStallMs = 2000;

}  // namespace

bool LineWriteAll(int fd, const uint8_t* bytes, size_t count) {
    size_t done = 0;
    while (done < count) {
        ssize_t n = write(fd, bytes + done, count - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
        pollfd p = {fd, POLLOUT, 0};
        if (poll(&p, 1, kWriteStallMs) == 0) return false;
    }
    return true;
}

namespace {

// Hands bytes that have had their time on the wire to the host: straight to
// the pseudo-terminal, or to the adapter in front of it.
bool Deliver(PtyLine* line, const uint8_t* bytes, size_t count) {
    if (line->adapter == nullptr) return LineWriteAll(line->master, bytes, count);
    AdapterTake(line, bytes, count);
    return true;
}

}  // namespace

void SleepUntil(int64_t atNs) {
    timespec ts;
    ts.tv_sec = static_cast<time_t>(atNs / 1000000000);
    ts.tv_nsec = static_cast<long>(atNs % 1000000000);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

int64_t ByteTimeNs(uint32_t baud) { return baud ? (10LL * 1000000000 + baud - 1) / baud : 0; }

bool LineOpen(PtyLine* line) {
    line->master = posix_openpt(O_RDWR | O_NOCTTY);
    if (line->master < 0 || grantpt(line->master) != 0 || unlockpt(line->master) != 0) {
        std::perror("devsim: pseudo-terminal");
        return false;
    }
    const char* name = ptsname(line->master);
    if (!name) {
        std::perror("devsim: ptsname");
        return false;
    }
    line->slavePath = name;
    line->slave = open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (line->slave < 0) {
        std::perror("devsim: opening the slave");
        return false;
    }
    termios tio;
    if (tcgetattr(line->slave, &tio) != 0) {
        std::perror("devsim: tcgetattr");
        return false;
    }
    cfmakeraw(&tio);
    tio.c_cflag |= CLOCAL | CREAD;
    if (tcsetattr(line->slave, TCSANOW, &tio) != 0) {
        std::perror("devsim: tcsetattr");
        return false;
    }
    int flags = fcntl(line->master, F_GETFL);
    fcntl(line->master, F_SETFL, flags | O_NONBLOCK);
    fcntl(line->master, F_SETFD, FD_CLOEXEC);
    return AdapterStart(line);
}

bool LinePublish(PtyLine* line, const char* link) {
    line->link = link;
    // Make the link under a private name, then rename it over the public
    // one: whoever watches the path sees no link or the finished one.
    std::string temp = line->link + ".devsim-" + std::to_string(getpid());
    unlink(temp.c_str());
    if (symlink(line->slavePath.c_str(), temp.c_str()) != 0 || rename(temp.c_str(), line->link.c_str()) != 0) {
        std::fprintf(stderr, "devsim: cannot link %s: %s\n", link, std::strerror(errno));
        unlink(temp.c_str());
        return false;
    }
    line->linked = true;
    return true;
}

void LineClose(PtyLine* line) {
    AdapterStop(line);
    if (line->linked) unlink(line->link.c_str());
    line->linked = false;
    if (line->slave >= 0) close(line->slave);
    if (line->master >= 0) close(line->master);
    line->slave = line->master = -1;
}

uint32_t LineBaud(const PtyLine* line) {
    termios tio;
    if (tcgetattr(line->slave, &tio) != 0) return 0;
    speed_t speed = cfgetospeed(&tio);
    for (const SpeedName& s : kSpeeds) {
        if (s.speed == speed) return s.baud;
    }
    return 0;
}

int64_t LineTakeByte(PtyLine* line, int64_t readNs, uint32_t baud) {
    int64_t at = readNs;
    if (line->paced && baud) {
        int64_t earliest = line->rxLastNs + ByteTimeNs(baud);
        if (earliest > at) {
            SleepUntil(earliest);
            at = earliest;
        }
    }
    line->rxLastNs = at;
    return at;
}

size_t LineSend(PtyLine* line, uint32_t deviceBaud, const uint8_t* bytes, size_t count) {
    if (count == 0) return 0;
    size_t sent = 0;
    int64_t firstNs = MonotonicNs();
    int64_t lastNs = firstNs;  // when the last byte went out
    uint32_t heard = deviceBaud;
    if (!line->paced) {
        heard = LineBaud(line);
        if (heard == deviceBaud && Deliver(line, bytes, count)) sent = count;
    } else {
        int64_t step = ByteTimeNs(deviceBaud);
        size_t burst = line->burst > 0 ? line->burst : 1;
        int64_t next = line->txNextNs > firstNs ? line->txNextNs : firstNs;  // the next byte's turn
        while (sent < count) {
            size_t n = count - sent < burst ? count - sent : burst;
            int64_t now = MonotonicNs();
            // A byte that missed its turn delays the ones after it, unless
            // they catch up with the turns the line would give them.
            int64_t first = !line->catchUp && now > next ? now : next;
            int64_t at = first + static_cast<int64_t>(n - 1) * step;
            if (at > now) SleepUntil(at);
            heard = LineBaud(line);
            lastNs = MonotonicNs();
            if (heard != deviceBaud || !Deliver(line, bytes + sent, n)) break;
            if (sent == 0) {
                firstNs = first;
                line->firstSentNs = lastNs;
            }
            sent += n;
            next = at + step;
        }
        line->txNextNs = next;
    }
    TranscriptSent(line->transcript, firstNs, deviceBaud, bytes, sent);
    if (line->paced && line->noteLate && sent == count) {
        // Against the line's own times: the first byte's, then one byte time each.
        int64_t lateNs = lastNs - (firstNs + static_cast<int64_t>(count - 1) * ByteTimeNs(deviceBaud));
        if (lateNs >= 1000) TranscriptNote(line->transcript, "late %lld us", static_cast<long long>(lateNs / 1000));
    }
    if (sent < count) {
        if (heard != deviceBaud) {
            TranscriptNote(line->transcript, "not sent: %zu bytes at %u baud, the line is at %u baud", count - sent,
                           deviceBaud, heard);
        } else {
            TranscriptNote(line->transcript, "not sent: %zu bytes, nobody takes them", count - sent);
        }
    }
    return sent;
}
