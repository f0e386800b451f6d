// Time on the line: each byte is ten bits (start, eight data bits, stop).
#pragma once
#include <cstdint>

constexpr int kLineBitsPerByte = 10;

// The seconds count bytes take on the line at baud.
inline double LineSeconds(uint32_t count, uint32_t baud) { return static_cast<double>(count) * kLineBitsPerByte / baud; }
