// A station: boards updated as they are connected (ridorez station TARGET
// FILE --port A --port B ... --records FILE). The image is loaded once.
// Each port goes round on its own, at the same time as the others:
//
//   waiting     until a board answers: an update's worker process (bench.h)
//               is started every second while the port is there; one whose
//               probe found nothing was only a look (no record)
//   updating    the board's update (and, for a target that reads back, a
//               verify), then its record
//   going       until the board has gone: the port has gone, or two probes
//               in a row found nothing; then waiting again (--again: at
//               once, the same board may be updated again)
//
// A probe is sent only to a port that has been there for a second: an
// adapter just plugged in, with its board, gets its first bytes once it
// has settled. Ctrl-C or SIGTERM: no new board starts, the boards being
// updated run to their end (a second Ctrl-C abandons them), then the
// summary.
#pragma once
#include <string>

#include "bench/station_records.h"
#include "cli/bench.h"

enum StationState { kStationWaiting, kStationUpdating, kStationVerifying, kStationGoing, kStationStopped };

struct StationPort {
    std::string port;
    BenchBoard run;            // the worker process now on the port (run.process.id 0: none)
    int running = 0;           // a worker runs
    int stopAsked = 0;         // its worker was asked to end (the station stops)
    StationState state = kStationWaiting;
    double nextTry = 0;        // when the next look or probe may start
    double presentSince = -1;  // since when the port has been there (-1: not there)
    int misses = 0;            // probes in a row that found nothing, while the board goes
    std::string last;          // the last board's result, for the screen
    StationRecord record;      // the board being updated
    int done = 0, failed = 0;
    double totalSeconds = 0, slowest = 0;
    int worst = 0;             // the highest exit code of a failed board
};

int RunStation(const CliOptions& options);
