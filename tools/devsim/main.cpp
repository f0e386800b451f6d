// devsim: the T62 firmware loader, the PSoC boot loader and the keyer IC on
// a pseudo-terminal, for the tests and the demo. See README.md.
#include <time.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "serial/com_folder.h"
#include "serial/serial_port.h"
#include "tools/devsim/adapter.h"
#include "tools/devsim/devsim.h"
#include "tools/devsim/serve.h"

namespace {

const char kUsage[] =
    "usage: devsim --link PATH|--com N --device t62,psoc,keyer [--paced] [--paced-burst N] [--transcript FILE]\n"
    "              [--adapter ftdi[:latency=MS]]\n"
    "              [--catch-up] [--clock-note] [--late-note]\n"
    "              [--memory FILE] [--fault TYPE:CMD:N[:ARG]]...\n"
    "              [--t62-hw-rev N] [--t62-loader MAJOR.MINOR] [--t62-fill BYTE]\n"
    "              [--t62-baud N] [--psoc-version CHAR] [--psoc-fill BYTE] [--psoc-baud N] [--psoc-block-gap MS]\n"
    "              [--keyer-variant amber|topaz|jade|ruby|none] [--keyer-version N]\n"
    "              [--keyer-revision N] [--keyer-ictype N] [--keyer-35-at-9600 frame|ignore]\n";

struct Options {
    const char* link = nullptr;
    std::string comLink;  // --com N: com<N> in the folder of COM ports
    const char* transcript = nullptr;
    bool paced = false;
    bool clockNote = false;
    bool lateNote = false;
    bool catchUp = false;
    int burst = 1;
    int t62Fill = 0x00;
    int psocFill = 0x00;
};

bool Fail(const std::string& message) {
    std::fprintf(stderr, "devsim: %s\n%s", message.c_str(), kUsage);
    return false;
}

bool ParseByte(const char* text, int* value) {
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 0);
    if (errno || end == text || *end || v < 0 || v > 255) return false;
    *value = static_cast<int>(v);
    return true;
}

bool ParseDevices(Sim* sim, const char* list) {
    std::string rest = list;
    while (!rest.empty()) {
        size_t comma = rest.find(',');
        std::string name = rest.substr(0, comma);
        rest = comma == std::string::npos ? "" : rest.substr(comma + 1);
        int found = -1;
        for (int d = 0; d < kDeviceCount; ++d) {
            if (name == DeviceName(d)) found = d;
        }
        if (found < 0) return Fail("unknown device '" + name + "'");
        sim->enabled[found] = true;
    }
    return true;
}

bool ParseBaud(const char* text, uint32_t* baud) {
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(text, &end, 10);
    if (errno || end == text || *end || v < 50 || v > 4000000) return Fail(std::string("bad speed '") + text + "'");
    *baud = static_cast<uint32_t>(v);
    return true;
}

bool ParseLoaderVersion(Sim* sim, const char* text) {
    int major = 0;
    int minor = 0;
    char tail = 0;
    if (std::sscanf(text, "%d.%d%c", &major, &minor, &tail) != 2 || major < 0 || major > 255 || minor < 0 ||
        minor > 255) {
        return Fail(std::string("bad loader version '") + text + "'");
    }
    sim->t62.loaderMajor = static_cast<uint8_t>(major);
    sim->t62.loaderMinor = static_cast<uint8_t>(minor);
    return true;
}

// What an option's value did: taken, refused (the message is out), or the
// option is not one this group knows.
enum OptionResult { kOptionTaken, kOptionBad, kOptionNotMine };

OptionResult Took(bool ok) { return ok ? kOptionTaken : kOptionBad; }

// The options without a value. Returns false when name is not one of them.
bool TakeSwitch(const std::string& name, Options* opt) {
    if (name == "--help" || name == "-h") {
        std::fputs(kUsage, stdout);
        std::exit(0);
    }
    if (name == "--paced") {
        opt->paced = true;
    } else if (name == "--clock-note") {
        opt->clockNote = true;
    } else if (name == "--late-note") {
        opt->lateNote = true;
    } else if (name == "--catch-up") {
        opt->catchUp = true;
        opt->paced = true;
    } else {
        return false;
    }
    return true;
}

// The line, the transcript, the memory files and the faults.
OptionResult ParseRunOption(const std::string& name, const char* value, Sim* sim, Options* opt) {
    int byte = 0;
    if (name == "--link") {
        opt->link = value;
    } else if (name == "--com") {
        char* end = nullptr;
        long n = std::strtol(value, &end, 10);
        if (end == value || *end || n < 1 || n > 9999) return Took(Fail("bad COM port number"));
        opt->comLink = std::string(SerialDeviceDir()) + "/com" + std::to_string(n);
        opt->link = opt->comLink.c_str();
    } else if (name == "--device") {
        return Took(ParseDevices(sim, value));
    } else if (name == "--paced-burst") {
        if (!ParseByte(value, &byte) || byte < 1) return Took(Fail("bad burst size"));
        opt->paced = true;
        opt->burst = byte;
    } else if (name == "--adapter") {
        const char* error = "";
        if (!ParseAdapter(value, &sim->line.adapterLatencyMs, &error))
            return Took(Fail(std::string("--adapter: ") + error));
    } else if (name == "--transcript") {
        opt->transcript = value;
    } else if (name == "--memory") {
        sim->memoryPath = value;
    } else if (name == "--fault") {
        FaultRule rule;
        std::string error;
        if (!ParseFault(value, &rule, &error)) return Took(Fail(std::string("--fault ") + value + ": " + error));
        sim->faults.rules.push_back(rule);
    } else {
        return kOptionNotMine;
    }
    return kOptionTaken;
}

OptionResult ParseT62Option(const std::string& name, const char* value, Sim* sim, Options* opt) {
    int byte = 0;
    bool isByte = ParseByte(value, &byte);
    if (name == "--t62-hw-rev") {
        if (!isByte) return Took(Fail("bad hardware revision"));
        sim->t62.hwRevision = static_cast<uint8_t>(byte);
    } else if (name == "--t62-loader") {
        return Took(ParseLoaderVersion(sim, value));
    } else if (name == "--t62-fill") {
        if (!isByte) return Took(Fail("bad fill byte"));
        opt->t62Fill = byte;
    } else if (name == "--t62-baud") {
        return Took(ParseBaud(value, &sim->t62.baud));
    } else {
        return kOptionNotMine;
    }
    return kOptionTaken;
}

OptionResult ParsePsocOption(const std::string& name, const char* value, Sim* sim, Options* opt) {
    int byte = 0;
    if (name == "--psoc-baud") {
        return Took(ParseBaud(value, &sim->psoc.baud));
    } else if (name == "--psoc-version") {
        if (std::strlen(value) != 1) return Took(Fail("the PSoC version is one character"));
        sim->psoc.version = value[0];
    } else if (name == "--psoc-fill") {
        if (!ParseByte(value, &byte)) return Took(Fail("bad fill byte"));
        opt->psocFill = byte;
    } else if (name == "--psoc-block-gap") {
        char* end = nullptr;
        long ms = std::strtol(value, &end, 10);
        if (end == value || *end || ms < 1 || ms > 60000) return Took(Fail("bad block gap (1 to 60000 ms)"));
        sim->psoc.blockGapNs = ms * 1000000LL;
    } else {
        return kOptionNotMine;
    }
    return kOptionTaken;
}

OptionResult ParseKeyerOption(const std::string& name, const char* value, Sim* sim) {
    int byte = 0;
    bool isByte = ParseByte(value, &byte);
    if (name == "--keyer-variant") {
        sim->keyer.variant = KeyerVariantFromName(value);
        if (sim->keyer.variant < 0) return Took(Fail(std::string("unknown keyer variant '") + value + "'"));
    } else if (name == "--keyer-version") {
        if (!isByte) return Took(Fail("bad keyer version"));
        sim->keyer.version = static_cast<uint8_t>(byte);
    } else if (name == "--keyer-revision") {
        if (!isByte) return Took(Fail("bad keyer revision"));
        sim->keyer.revision = static_cast<uint8_t>(byte);
    } else if (name == "--keyer-ictype") {
        if (!isByte) return Took(Fail("bad keyer IC type"));
        sim->keyer.icTypeOverride = byte;
    } else if (name == "--keyer-35-at-9600") {
        if (std::strcmp(value, "frame") != 0 && std::strcmp(value, "ignore") != 0)
            return Took(Fail(std::string("--keyer-35-at-9600 takes frame or ignore, not '") + value + "'"));
        sim->keyer.ignoreSpeedRequestAt9600 = std::strcmp(value, "ignore") == 0;
    } else {
        return kOptionNotMine;
    }
    return kOptionTaken;
}

// An option that takes a value, offered to each group in turn.
OptionResult ParseValueOption(const std::string& name, const char* value, Sim* sim, Options* opt) {
    OptionResult r = ParseRunOption(name, value, sim, opt);
    if (r == kOptionNotMine) r = ParseT62Option(name, value, sim, opt);
    if (r == kOptionNotMine) r = ParsePsocOption(name, value, sim, opt);
    if (r == kOptionNotMine) r = ParseKeyerOption(name, value, sim);
    return r;
}

// What must hold once every option is read: a link, a device, and a device
// for each fault to act on.
bool CheckArguments(const Sim* sim, const Options* opt) {
    if (!opt->link) return Fail("--link or --com is required");
    if (!sim->enabled[kDeviceT62] && !sim->enabled[kDevicePsoc] && !sim->enabled[kDeviceKeyer]) {
        return Fail("--device is required");
    }
    for (const FaultRule& rule : sim->faults.rules) {
        bool applies = false;
        for (int d = 0; d < kDeviceCount; ++d) {
            if (sim->enabled[d] && (rule.device < 0 || rule.device == d) && FaultKindOf(d, rule.kind)) applies = true;
        }
        if (!applies) return Fail("--fault " + rule.text + ": no listed device has that command");
    }
    return true;
}

bool ParseArguments(int argc, char** argv, Sim* sim, Options* opt) {
    for (int i = 1; i < argc; ++i) {
        std::string name = argv[i];
        if (TakeSwitch(name, opt)) continue;
        if (i + 1 >= argc) return Fail(name + " needs a value");
        OptionResult r = ParseValueOption(name, argv[++i], sim, opt);
        if (r == kOptionBad) return false;
        if (r == kOptionNotMine) return Fail("unknown option " + name);
    }
    return CheckArguments(sim, opt);
}

// Where the transcript's time 0 lies on the system's monotonic and wall
// clocks, so that its times can be set beside those of other programs.
void NoteTranscriptClock(Transcript* t) {
    timespec mono, real;
    clock_gettime(CLOCK_MONOTONIC, &mono);
    clock_gettime(CLOCK_REALTIME, &real);
    int64_t monoNs = static_cast<int64_t>(mono.tv_sec) * 1000000000 + mono.tv_nsec;
    int64_t realNs = static_cast<int64_t>(real.tv_sec) * 1000000000 + real.tv_nsec;
    TranscriptNote(t, "clock monotonic %lld realtime %lld", static_cast<long long>(t->startNs / 1000),
                   static_cast<long long>((realNs - (monoNs - t->startNs)) / 1000));
}

}  // namespace

int main(int argc, char** argv) {
    static Sim sim;
    Options opt;
    if (!ParseArguments(argc, argv, &sim, &opt)) return 2;
    T62Init(&sim.t62, static_cast<uint8_t>(opt.t62Fill));
    PsocInit(&sim.psoc, static_cast<uint8_t>(opt.psocFill));
    KeyerInit(&sim.keyer);
    if (!TranscriptOpen(&sim.transcript, opt.transcript)) {
        std::fprintf(stderr, "devsim: cannot write %s: %s\n", opt.transcript, std::strerror(errno));
        return 1;
    }
    if (opt.clockNote) NoteTranscriptClock(&sim.transcript);
    InstallStopSignals();
    sim.line.paced = opt.paced;
    sim.line.burst = static_cast<size_t>(opt.burst);
    sim.line.noteLate = opt.lateNote;
    sim.line.catchUp = opt.catchUp;
    sim.line.transcript = &sim.transcript;
    // COMn as the updater finds it: in the user's own folder, which is made
    // for the user alone when it is not there, and refused as the updater
    // refuses it.
    char why[320];
    if (!opt.comLink.empty() && (!ComFolderMake(why, sizeof why) || !ComFolderTrusted(opt.link, why, sizeof why))) {
        std::fprintf(stderr, "devsim: %s: %s\n", opt.link, why);
        return 1;
    }
    if (!LineOpen(&sim.line) || !LinePublish(&sim.line, opt.link)) {
        LineClose(&sim.line);
        return 1;
    }
    std::string devices;
    for (int d = 0; d < kDeviceCount; ++d) {
        if (sim.enabled[d]) devices += std::string(devices.empty() ? "" : ",") + DeviceName(d);
    }
    TranscriptNote(&sim.transcript, "serving %s on %s (%s)%s", devices.c_str(), opt.link, sim.line.slavePath.c_str(),
                   opt.paced ? " paced" : "");
    int code = Serve(&sim);
    LineClose(&sim.line);
    TranscriptClose(&sim.transcript);
    return code;
}
