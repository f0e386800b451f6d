// What the line knows of each device: the speed it listens and talks at,
// and its memory file. Below the dispatcher, the flood and the devices.
#pragma once
#include <cstdint>

struct Sim;

// The speed a device is listening and talking at right now.
uint32_t DeviceBaud(const Sim* sim, int device);

// The device that hears a byte at baud, or -1 when none does.
int DeviceAtBaud(const Sim* sim, uint32_t baud);

// Writes the device's memory file (FILE, or FILE.<device> when several
// devices share the line).
void DumpMemory(Sim* sim, int device);
