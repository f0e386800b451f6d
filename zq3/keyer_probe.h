// The keyer interface probe: is a ZQ3 keyer IC there, which firmware and
// which variant, or only its loader.
#pragma once
#include <cstdint>

#include "core/platform.h"

// Writes its status lines into control 4061 of window. Returns -1 on
// failure, 5 for an IC without its operating firmware, else the firmware
// version (30 or more).
int ProbeKeyer(WindowHandle window);

// Asks the IC type; the reply byte, or 0 when none came.
uint8_t QueryKeyerIcType();
