// What the keyer channel (keyer_channel.cpp) asks of the platform, on the
// port AppState.keyerHandle holds, which is open when these are called: one
// implementation each in keyer_channel_posix.cpp, keyer_channel_win32.cpp
// and keyer_channel_web.cpp.
#pragma once
#include <cstdint>

// 1 when all count bytes went out within waitMs.
int KeyerLineWrite(const uint8_t* bytes, uint32_t count, uint32_t waitMs);

// 1 when exactly count bytes arrived within waitMs. Nothing is left pending
// when it returns: a byte that comes later stays queued on the port.
int KeyerLineRead(uint8_t* buffer, uint32_t count, uint32_t waitMs);

// Empties the port's receive queue.
void KeyerLinePurge();
