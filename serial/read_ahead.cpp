// PortRead, PortWrite and PortExpect over the platform's system calls, with
// the read-ahead that lets a frame read byte by byte cost one system call per
// batch of bytes.
#include "serial/read_ahead.h"

#include <cstring>

#include "core/line_log.h"
#include "serial/serial_port.h"

namespace {

uint32_t Take(ReadAhead* ahead, uint8_t* buffer, uint32_t count) {
    uint32_t n = ahead->end - ahead->next;
    if (n > count) n = count;
    std::memcpy(buffer, ahead->bytes + ahead->next, n);
    ahead->next += n;
    return n;
}

void Arrived(ReadAhead* ahead, uint32_t n) { ahead->expected = n < ahead->expected ? ahead->expected - n : 0; }

}  // namespace

int PortRead(PortHandle port, uint8_t* buffer, uint32_t count, uint32_t* got) {
    ReadAhead* ahead = PortReadAheadOf(port);
    if (ahead == nullptr) return PortSystemRead(port, buffer, count, got);
    *got = Take(ahead, buffer, count);
    if (*got == count) return 1;

    // Gather when there is more to take than this read asks for: what the
    // receive queue holds now, or the bytes announced, whichever is more.
    uint32_t queued = PortQueuedBytes(port);
    uint32_t want = queued;
    if (want < ahead->expected) want = ahead->expected;
    if (want > sizeof ahead->bytes) want = sizeof ahead->bytes;
    uint32_t n = 0;
    if (want > count - *got) {
        // Announced bytes that have not arrived yet are still on the line:
        // let them come in before asking, rather than being woken for each.
        if (ahead->expected > queued) PortAwaitLine(port, ahead->expected - queued);
        ahead->next = ahead->end = 0;
        if (!PortSystemRead(port, ahead->bytes, want, &n)) return 0;
        ahead->end = n;
        // Fewer than asked for: the reply is not what was announced, so the
        // reads that follow wait for their own bytes only.
        if (n < want) ahead->expected = 0;
        Arrived(ahead, n);
        *got += Take(ahead, buffer + *got, count - *got);
        return 1;
    }

    // Nothing to gather: wait for this read's own bytes.
    if (!PortSystemRead(port, buffer + *got, count - *got, &n)) return 0;
    Arrived(ahead, n);
    *got += n;
    return 1;
}

int PortWrite(PortHandle port, const uint8_t* bytes, uint32_t count, uint32_t* written) {
    ReadAhead* ahead = PortReadAheadOf(port);
    if (ahead != nullptr) ahead->expected = 0;
    return PortSystemWrite(port, bytes, count, written);
}

void PortExpect(PortHandle port, uint32_t count) {
    ReadAhead* ahead = PortReadAheadOf(port);
    if (ahead != nullptr) ahead->expected = count;
}

uint32_t PortInputWaiting(PortHandle port) {
    ReadAhead* ahead = PortReadAheadOf(port);
    uint32_t kept = ahead == nullptr ? 0 : ahead->end - ahead->next;
    return kept + PortQueuedBytes(port);
}

void PortDiscardInput(PortHandle port) {
    ReadAhead* ahead = PortReadAheadOf(port);
    uint32_t discarded = 0;
    if (ahead != nullptr) {
        discarded = ahead->end - ahead->next;
        ahead->next = ahead->end = 0;
        ahead->expected = 0;
    }
    // Read out what the queue holds now, rather than purge it: a read of
    // bytes that are there returns at once, and the line log shows them.
    // Bytes that keep coming (a line that babbles) are not waited for.
    uint32_t queued = PortQueuedBytes(port);
    uint8_t scratch[256];
    while (queued > 0) {
        uint32_t n = queued < sizeof scratch ? queued : sizeof scratch;
        uint32_t got = 0;
        if (!PortSystemRead(port, scratch, n, &got) || got == 0) break;
        discarded += got;
        queued = got < queued ? queued - got : 0;
    }
    if (discarded > 0) LineLogNote("discarded %lu stale bytes", static_cast<unsigned long>(discarded));
}
