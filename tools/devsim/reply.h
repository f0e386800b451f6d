// A device's reply on its way to the host, through the faults.
#pragma once
#include <cstdint>
#include <vector>

#include "tools/devsim/faults.h"

struct Sim;

// Sends a device's reply (empty: the command has none) as the faults say:
// noise first, then the reply unless it is lost or the device is silent;
// a reply fault sends its one byte instead, a flood fault starts the flood
// instead. A device that floods the line sends no reply.
void SendReply(Sim* sim, int device, const FaultEffects& fx, const std::vector<uint8_t>& reply);
