// A USB serial adapter between the devices and the host, as an FTDI chip
// passes received bytes on: gathered into packets of up to 62 bytes, each
// sent when it is full or when the latency timer runs out. The timer starts
// again with every packet (an idle chip sends a status-only one at each
// expiry), so a short reply waits for the next tick after it arrived. The
// pseudo-terminal's other side gets the bytes as the host's driver would.
#pragma once
#include <cstddef>
#include <cstdint>

struct PtyLine;

enum { kAdapterPacketBytes = 62, kAdapterDefaultLatencyMs = 16 };

// Reads "ftdi" or "ftdi:latency=MS" (MS 1 to 255) into *latencyMs. Returns
// false with the reason in *error.
bool ParseAdapter(const char* text, int* latencyMs, const char** error);

// Starts the adapter of line (line->adapterLatencyMs, 0: none) on its
// master side; LineOpen calls it.
bool AdapterStart(PtyLine* line);

// Bytes that have just come over the wire from a device: held until their
// packet goes.
void AdapterTake(PtyLine* line, const uint8_t* bytes, size_t count);

// Stops the adapter; what it still holds is lost, as when it is unplugged.
void AdapterStop(PtyLine* line);
