#include "tools/devsim/device_state.h"

#include <cstdio>
#include <string>

#include "tools/devsim/devsim.h"
#include "tools/devsim/memory_file.h"

namespace {

// The keyer's memory file lists the records it took, one a line:
// command, address, data and the speed they came at.
bool WriteKeyerRecords(const KeyerDevice* dev, const char* path) {
    std::string text;
    char line[96];
    for (const KeyerRecordLog& r : dev->records) {
        int n = std::snprintf(line, sizeof line, "%02x %04x ", r.command, r.address);
        for (uint8_t b : r.data) n += std::snprintf(line + n, sizeof line - n, "%02x", b);
        std::snprintf(line + n, sizeof line - n, " %u\n", r.baud);
        text += line;
    }
    return WriteMemoryFile(path, text.data(), text.size());
}

}  // namespace

uint32_t DeviceBaud(const Sim* sim, int device) {
    switch (device) {
        case kDeviceT62: return sim->t62.baud;
        case kDevicePsoc: return sim->psoc.baud;
        case kDeviceKeyer: return sim->keyer.baud;
        default: return 0;
    }
}

int DeviceAtBaud(const Sim* sim, uint32_t baud) {
    for (int d = 0; d < kDeviceCount; ++d) {
        if (sim->enabled[d] && DeviceBaud(sim, d) == baud) return d;
    }
    return -1;
}

void DumpMemory(Sim* sim, int device) {
    if (sim->memoryPath.empty() || !sim->enabled[device]) return;
    int listed = 0;
    for (int d = 0; d < kDeviceCount; ++d) listed += sim->enabled[d] ? 1 : 0;
    std::string path = sim->memoryPath;
    if (listed > 1) path += std::string(".") + DeviceName(device);
    bool ok = false;
    switch (device) {
        case kDeviceT62: ok = WriteMemoryFile(path.c_str(), sim->t62.memory.data(), sim->t62.memory.size()); break;
        case kDevicePsoc: ok = WriteMemoryFile(path.c_str(), sim->psoc.memory.data(), sim->psoc.memory.size()); break;
        case kDeviceKeyer: ok = WriteKeyerRecords(&sim->keyer, path.c_str()); break;
        default: break;
    }
    if (!ok) std::fprintf(stderr, "devsim: cannot write %s\n", path.c_str());
}
