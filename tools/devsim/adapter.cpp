#include "tools/devsim/adapter.h"

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "tools/devsim/pty_line.h"

// The adapter's own thread hands the packets to the host, so that the
// devices and the line go on meanwhile as they would.
struct Adapter {
    int master = -1;
    int64_t periodNs = 0;
    std::mutex lock;
    std::condition_variable wake;
    std::vector<uint8_t> held;  // received from the devices, not yet sent
    int64_t lastPacketNs = 0;   // when the latency timer last started
    bool stop = false;
    std::thread thread;
};

namespace {

std::chrono::steady_clock::time_point SteadyAt(int64_t ns) {
    return std::chrono::steady_clock::time_point(std::chrono::nanoseconds(ns));
}

// The chip's timer is its own and ticks whatever the host does; this
// thread stands for it, so it asks to run before the machine's other work
// (a real-time priority, else a raised one), lest a busy machine move its
// ticks. Says which it got, for the transcript.
const char* RaisePriority() {
    sched_param param{};
    param.sched_priority = sched_get_priority_min(SCHED_FIFO);
    if (pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0) return "at real-time priority";
    // On Linux a nice value is the calling thread's own.
    if (setpriority(PRIO_PROCESS, 0, -10) == 0) return "at nice -10";
    return "at ordinary priority (no higher one permitted)";
}

void Run(Adapter* a, std::promise<const char*>* priority) {
    priority->set_value(RaisePriority());
    std::unique_lock<std::mutex> hold(a->lock);
    while (!a->stop) {
        if (a->held.empty()) {
            a->wake.wait(hold);
            continue;
        }
        int64_t now = MonotonicNs();
        size_t count = 0;
        if (a->held.size() >= kAdapterPacketBytes) {
            count = kAdapterPacketBytes;
            a->lastPacketNs = now;
        } else {
            // The first tick of the latency timer after now.
            int64_t tick = a->lastPacketNs + ((now - a->lastPacketNs) / a->periodNs + 1) * a->periodNs;
            a->wake.wait_until(hold, SteadyAt(tick),
                               [a] { return a->stop || a->held.size() >= kAdapterPacketBytes; });
            if (a->stop || a->held.size() >= kAdapterPacketBytes) continue;
            count = a->held.size();
            a->lastPacketNs = tick;
        }
        std::vector<uint8_t> packet(a->held.begin(), a->held.begin() + static_cast<long>(count));
        a->held.erase(a->held.begin(), a->held.begin() + static_cast<long>(count));
        hold.unlock();
        // A full pseudo-terminal: an adapter holds what the host has not taken.
        LineWriteAll(a->master, packet.data(), packet.size());
        hold.lock();
    }
}

}  // namespace

bool ParseAdapter(const char* text, int* latencyMs, const char** error) {
    *latencyMs = kAdapterDefaultLatencyMs;
    if (std::strcmp(text, "ftdi") == 0) return true;
    const char* prefix = "ftdi:latency=";
    if (std::strncmp(text, prefix, std::strlen(prefix)) != 0) {
        *error = "the adapter is ftdi or ftdi:latency=MS";
        return false;
    }
    const char* value = text + std::strlen(prefix);
    char* end = nullptr;
    long ms = std::strtol(value, &end, 10);
    if (end == value || *end || ms < 1 || ms > 255) {
        *error = "the latency timer is 1 to 255 ms";
        return false;
    }
    *latencyMs = static_cast<int>(ms);
    return true;
}

bool AdapterStart(PtyLine* line) {
    if (line->adapterLatencyMs <= 0) return true;
    Adapter* a = new Adapter;
    a->master = line->master;
    a->periodNs = line->adapterLatencyMs * 1000000LL;
    a->lastPacketNs = MonotonicNs();
    std::promise<const char*> priority;
    std::future<const char*> got = priority.get_future();
    a->thread = std::thread(Run, a, &priority);
    line->adapter = a;
    TranscriptNote(line->transcript, "adapter ftdi: packets of %d bytes, latency timer %d ms, timer thread %s",
                   kAdapterPacketBytes, line->adapterLatencyMs, got.get());
    return true;
}

void AdapterTake(PtyLine* line, const uint8_t* bytes, size_t count) {
    Adapter* a = line->adapter;
    std::lock_guard<std::mutex> hold(a->lock);
    bool idle = a->held.empty();
    a->held.insert(a->held.end(), bytes, bytes + count);
    // The thread waits for bytes, or for the tick unless a packet fills
    // first: woken for every byte, it would delay the device's next one.
    if (idle || a->held.size() >= kAdapterPacketBytes) a->wake.notify_one();
}

void AdapterStop(PtyLine* line) {
    Adapter* a = line->adapter;
    if (a == nullptr) return;
    {
        std::lock_guard<std::mutex> hold(a->lock);
        a->stop = true;
        a->wake.notify_one();
    }
    a->thread.join();
    delete a;
    line->adapter = nullptr;
}
