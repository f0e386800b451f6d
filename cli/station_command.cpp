// ridorez station: every port goes round waiting, updating and waiting for
// its board to go, all at once, each run in a worker process as a bench
// runs its boards (bench.h), until Ctrl-C or SIGTERM.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "bench/bench_image.h"
#include "bench/station_platform.h"
#include "cli/adapter_note.h"
#include "cli/commands.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/progress.h"
#include "cli/station.h"
#include "cli/station_adapter.h"
#include "cli/station_display.h"
#include "cli/stop_rule.h"
#include "release/release_files.h"
#include "release/sha256.h"
#include "uploader/target_table.h"

namespace {

const uint32_t kTickMs = 100;
// A port that has just come is left alone this long before its first
// probe: the board behind an adapter just plugged in is still starting.
const double kSettleSeconds = 1.0;
// Between two looks for a board, and two probes of a board that may go.
const double kLookSeconds = 1.0;
// Probes in a row that find nothing before a board counts as gone.
const int kGoneMisses = 2;
// How long updates abandoned by a second Ctrl-C get before they are ended.
const double kStopSeconds = 2.0;
// Once the console has closed, what the system's time must keep for the
// records of the boards still being updated and the summary.
const double kCloseWriteSeconds = 1.5;

enum WorkerKind { kLook, kVerify, kProbe };

struct Station {
    CliOptions options;
    const TargetRow* row = nullptr;
    std::string image;     // the loaded image, packed for the workers
    std::string loaded;    // what the load said of it
    std::string sha256;    // the image file's, for the records
    std::string name;      // the station's, for the records
    std::string recordsError;
    std::vector<StationPort> ports;
    std::vector<WorkerKind> kinds;
    int stopping = 0;      // no new board starts
    const char* closed = nullptr;  // the console closed: the system ends the station soon
};

Station station;

// A message while the ports run: below their lines.
void Tell(const std::string& text) {
    StationShowBreak();
    Complain("%s: %s", kCliName, text.c_str());
}

std::vector<std::string> WorkerArgs(WorkerKind kind, const std::string& port) {
    const CliOptions& o = station.options;
    if (kind == kProbe) return {"probe", o.target, "--port", port, "--bench-worker"};
    return {kind == kVerify ? "verify" : "update", o.target, o.file, "--port", port, "--bench-worker"};
}

void Start(StationPort* p, WorkerKind kind) {
    size_t i = static_cast<size_t>(p - station.ports.data());
    station.kinds[i] = kind;
    p->stopAsked = 0;
    p->run.command = kind == kProbe ? "probe" : kind == kVerify ? "verify" : "update";
    p->running = BenchBoardStart(&p->run, WorkerArgs(kind, p->port), kind == kProbe ? "" : station.image);
    if (!p->running) p->run.exit = kExitFailed;
}

// A board answered the look's probe: it is being updated.
void BoardFound(StationPort* p) {
    p->state = kStationUpdating;
    StationRecord& r = p->record;
    r = StationRecord();
    r.time = RecordTimeNow();
    r.station = station.name;
    r.port = p->port;
    PortAdapter adapter = AdapterOfPort(p->port);
    r.vendorId = adapter.vendorId;
    r.productId = adapter.productId;
    r.serial = adapter.serial;
    r.target = station.options.target;
    std::string lines = p->run.versions;
    for (size_t at = 0; at <= lines.size();) {
        size_t end = lines.find("; ", at);
        if (end == std::string::npos) end = lines.size();
        r.probe.push_back(lines.substr(at, end - at));
        at = end + 2;
    }
    r.file = station.options.file;
    r.sha256 = station.sha256;
    r.loaded = station.loaded;
    StationShowChange(p);
}

// The port's worker told kind, which its board now holds.
void Told(StationPort* p, const std::string& kind) {
    if (kind == "versions" && p->state == kStationWaiting) BoardFound(p);
    if (kind == "percent" && (p->state == kStationUpdating || p->state == kStationVerifying)) StationShowChange(p);
}

// The board's record is written, and the port waits for it to go.
void BoardEnded(StationPort* p) {
    StationRecord& r = p->record;
    // The board's code: its update's, else its read-back's.
    const int exit = r.exit != kExitDone ? r.exit : r.verified ? r.verifyExit : kExitDone;
    double seconds = r.seconds + r.verifySeconds;
    if (BenchFailed(exit, "update")) {
        ++p->failed;
        p->worst = std::max(p->worst, exit);
        p->last = "failed: " + (r.exit != kExitDone ? r.message : r.verifyMessage);
    } else {
        ++p->done;
        char text[48];
        std::snprintf(text, sizeof text, "done in %.1f s", seconds);
        p->last = text;
    }
    p->totalSeconds += seconds;
    p->slowest = std::max(p->slowest, seconds);
    std::string error;
    if (!RecordsAppend(r, &error) && station.recordsError.empty()) {
        station.recordsError = error;
        Tell(error + "; no new board starts");
    }
    p->state = station.options.again ? kStationWaiting : kStationGoing;
    p->misses = 0;
    p->nextTry = CliClock() + kLookSeconds;
    StationShowChange(p);
    StationShowCount(station.ports);
}

// The worker on p has ended (its board's exit and seconds set).
void WorkerEnded(StationPort* p, WorkerKind kind) {
    BenchBoard& b = p->run;
    const double now = CliClock();
    if (kind == kProbe) {
        // Waiting for the board to go: gone with its port, or when it no
        // longer answers.
        p->misses = b.versions.empty() ? p->misses + 1 : 0;
        if (b.exit == kExitPort || p->misses >= kGoneMisses) {
            p->state = kStationWaiting;
            p->presentSince = b.exit == kExitPort ? -1 : now;
            StationShowChange(p);
        }
        p->nextTry = now + kLookSeconds;
        return;
    }
    if (kind == kLook && p->state == kStationWaiting) {
        // Nobody answered: no board yet. A port that could not be opened
        // (gone, or not yet ready) settles again before the next look.
        if (b.exit == kExitPort) p->presentSince = -1;
        p->nextTry = now + kLookSeconds;
        return;
    }
    if (kind == kLook && b.exit == kExitInterrupted && p->stopAsked && b.phase != "update") {
        // Asked to stop just after its probe, before its update began: the
        // board was not touched, and is no board of this station's.
        p->state = kStationWaiting;
        return;
    }
    StationRecord& r = p->record;
    if (kind == kLook) {
        r.seconds = b.seconds;
        r.result = b.result;
        r.exit = b.exit;
        r.message = b.message.empty() && b.exit == kExitInterrupted ? "abandoned" : b.message;
        if (r.message.empty())
            r.message = "the worker process ended without a result (exit " + std::to_string(b.processExit) + ")";
        // A good update of a target that reads back is read back whole.
        if (b.exit == kExitDone && station.row->readBack != nullptr && !station.stopping) {
            p->state = kStationVerifying;
            Start(p, kVerify);
            if (!p->running) WorkerEnded(p, kVerify);
            StationShowChange(p);
            return;
        }
    } else {
        r.verified = true;
        r.verifyExit = b.exit;
        r.verifyMessage = b.message.empty() ? "interrupted" : b.message;
        r.verifySeconds = b.seconds;
    }
    BoardEnded(p);
}

// Takes what the port's worker said; 1 while it runs.
int Follow(StationPort* p) {
    if (!p->running) return 0;
    if (BenchBoardFollow(&p->run, [p](const std::string& kind) { Told(p, kind); })) return 1;
    p->running = 0;
    WorkerEnded(p, station.kinds[static_cast<size_t>(p - station.ports.data())]);
    return p->running;
}

// A port with no worker: the next look or probe when its time has come.
void Next(StationPort* p) {
    const double now = CliClock();
    if (station.stopping) {
        if (p->state != kStationStopped) {
            p->state = kStationStopped;
            StationShowChange(p);
        }
        return;
    }
    if (now < p->nextTry) return;
    int present = PortPresent(p->port);
    if (p->state == kStationGoing) {
        if (present) {
            Start(p, kProbe);
        } else {
            p->state = kStationWaiting;
            p->presentSince = -1;
            StationShowChange(p);
        }
        p->nextTry = now + kLookSeconds;
        return;
    }
    if (!present) {
        if (p->presentSince >= 0) {
            p->presentSince = -1;
            StationShowChange(p);
        }
        p->nextTry = now + 0.25;
        return;
    }
    if (p->presentSince < 0) {
        p->presentSince = now;
        StationShowChange(p);
        p->nextTry = now + kSettleSeconds;
        return;
    }
    Start(p, kLook);
    p->nextTry = now + kLookSeconds;
}

// The system is about to end the station while the worker on p still
// updates its board: the board is recorded as cut off. The worker, a
// process of its own outside this console, is left to finish (ended, it
// would leave the board half written), but its end goes unrecorded.
void BoardCutOff(StationPort* p) {
    StationRecord& r = p->record;
    r.seconds = CliClock() - p->run.started;
    r.result = 0;
    r.exit = kExitInterrupted;
    r.message = "the station was cut off at " + std::to_string(p->run.percent) + " % of this update (" +
                station.closed +
                "): the update went on in its own process, but its end is not recorded; the board may hold its old "
                "firmware, part of the image or all of it: update it again";
    p->running = 0;
    BoardEnded(p);
}

// A worker that is only looking, probing or reading back: a board being
// updated is not among them.
int Stoppable(const StationPort& p) {
    size_t i = static_cast<size_t>(&p - station.ports.data());
    return p.running && (station.kinds[i] != kLook || p.state == kStationWaiting);
}

// The ports go round until asked to stop and every update has ended.
void Run() {
    double abandoned = -1;
    StopRule rule;
    rule.updating = 1;  // a look may turn into an update at any time
    for (;;) {
        ConsoleWait(kTickMs);
        int running = 0;
        for (StationPort& p : station.ports) running += Follow(&p);
        const char* request = ConsoleStopRequest();
        StopStep stop = StopCheck(&rule, ConsoleInterrupts(), request);
        if (station.closed == nullptr && (station.closed = ConsoleCloseRequest()) != nullptr) {
            // The system ends the station in a few seconds: the boards being
            // updated get all but the last of them to end.
            const double wait = std::max(0.0, ConsoleCloseSecondsLeft() - kCloseWriteSeconds);
            char text[200];
            std::snprintf(text, sizeof text,
                          "%s: no new board starts; a board still being updated in %.0f s is recorded as cut off",
                          station.closed, wait);
            Tell(text);
            station.stopping = 1;
        }
        if (!station.stopping && (stop.stopping || !station.recordsError.empty())) {
            station.stopping = 1;
            int updating = 0;
            for (StationPort& p : station.ports) updating += p.running && !Stoppable(p);
            if (station.recordsError.empty())
                Tell(std::string(request != nullptr ? request : "Ctrl-C") + ": no new board starts" +
                     (updating == 1 ? "; the board being updated runs to its end first (Ctrl-C again abandons it)"
                      : updating ? "; the " + std::to_string(updating) +
                                       " boards being updated run to their end first (Ctrl-C again abandons them)"
                                 : ""));
        }
        if (station.stopping) {
            for (StationPort& p : station.ports) {
                if (!Stoppable(p) || p.stopAsked) continue;
                p.stopAsked = 1;
                BenchStop(&p.run.process);
            }
            // A second Ctrl-C abandons the updates too, as a bench's does.
            if (stop.abandon) {
                if (abandoned < 0) abandoned = CliClock();
                for (StationPort& p : station.ports) {
                    if (!p.running || p.run.reported >= 0) continue;
                    if (CliClock() - abandoned < kStopSeconds) {
                        BenchStop(&p.run.process);
                    } else {
                        BenchBoardKill(&p.run, kExitInterrupted);
                        p.running = 0;
                        WorkerEnded(&p, station.kinds[static_cast<size_t>(&p - station.ports.data())]);
                    }
                }
            }
        }
        if (station.closed != nullptr && ConsoleCloseSecondsLeft() <= kCloseWriteSeconds) {
            for (StationPort& p : station.ports)
                if (p.running && !Stoppable(p)) BoardCutOff(&p);
        }
        for (StationPort& p : station.ports)
            if (!p.running) Next(&p);
        StationShowTick(station.ports);
        if (station.stopping && running == 0) {
            int still = 0;
            for (StationPort& p : station.ports) still += p.running;
            if (still == 0) break;
        }
    }
}

}  // namespace

int RunStation(const CliOptions& options) {
    double started = CliClock();
    OutputSetup(0, 0);
    ConsoleSetInterruptText(ConsoleInterruptedText(), "");
    ConsoleSetUp();
    station = Station();
    station.options = options;
    station.row = TargetNamed(options.target);
    station.name = !options.station.empty() ? options.station : StationHostName();
    if (station.name.empty()) station.name = "unknown";

    std::vector<std::string> ports;
    int listed = BenchPortList(options, &ports);
    if (listed != kExitDone) return listed;
    std::string warning, error;
    if (!RecordsOpen(options.records, options.csv, &warning, &error)) {
        Complain("%s: %s", kCliName, error.c_str());
        return kExitFile;
    }
    if (!warning.empty()) Complain("%s: %s", kCliName, warning.c_str());
    CliReport load;
    int code = LoadImageStep(options, &load);
    if (code != kExitDone) {
        RecordsClose();
        return code;
    }
    char line[128];
    station.row->loadedLine(line, sizeof line);
    station.loaded = line;
    std::string bytes;
    if (ReleaseReadFile(options.file, &bytes)) station.sha256 = Sha256Hex(bytes.data(), bytes.size());
    station.image = PackLoadedImage(options.target);
    for (const std::string& port : ports) TellAdapterLatency(*station.row, port);

    station.ports.resize(ports.size());
    station.kinds.assign(ports.size(), kLook);
    for (size_t i = 0; i < ports.size(); ++i) {
        station.ports[i].port = ports[i];
        // A board connected before the station started has settled.
        if (PortPresent(ports[i])) station.ports[i].presentSince = CliClock() - kSettleSeconds;
    }
    Say("Station %s: connect the boards; %s stops it once the boards being updated are done.",
        station.name.c_str(), kCliStopRequests);
    ConsoleHoldInterrupts(1);
    ConsoleHoldClose(1);
    StationShowBegin(station.ports);
    Run();
    RecordsClose();
    code = kExitDone;
    for (const StationPort& p : station.ports) code = std::max(code, p.worst);
    if (!station.recordsError.empty()) code = std::max(code, static_cast<int>(kExitFile));
    StationSummary(station.ports, CliClock() - started, code);
    return code;
}
