// The quiet a line keeps after a reply, before the next request goes out.
// A device that sends its reply twice sends the copy straight after it; on
// a line that hands over each byte as it arrives, the copy's first byte
// comes one character time after the reply's last, just after the host has
// read the reply and looked for more. Watching the input a little longer
// catches it before it can pass for the next request's answer.
#pragma once
#include <cstdint>

// How long the line is watched: three characters at baud, at least 1 ms.
uint32_t LineQuietMicros(uint32_t baud);

// Watches the input for micros: waiting() is asked, giving way to other
// work between asks (PlatformGiveWayWithin: natively over and over, in the
// page with one timer for most of the time left), until it counts a byte or the time is up.
// Returns that count, 0 when the line stayed quiet throughout.
uint32_t InputWithin(uint32_t (*waiting)(), uint32_t micros);
