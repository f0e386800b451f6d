// What Ctrl-C and the system's requests to stop (SIGTERM, SIGHUP) ask of
// runs in progress: the same for one update, a bench and a station. An
// update must not be cut short: the first Ctrl-C is explained, the second
// abandons it; a request to stop lets it run to its end, and the program
// stops after it. A run that changes nothing (a probe, a read-back) ends at
// the first of either. Once either has come, no new run starts.
#pragma once

struct StopRule {
    int updating = 0;      // the runs in progress change devices (updates)
    int toldInterrupt = 0; // the first Ctrl-C has been explained
    int toldRequest = 0;   // the request to stop has been told
};

struct StopStep {
    int stopping = 0;                  // Ctrl-C or a request came: no new run starts
    int abandon = 0;                   // the runs in progress are to be abandoned now
    int explainInterrupt = 0;          // the first Ctrl-C during updates: say why they go on, once
    const char* tellRequest = nullptr; // the request during updates, once: say they end first
};

// The step for interrupts Ctrl-C counted so far and request, the system's
// request to stop (null: none).
StopStep StopCheck(StopRule* rule, int interrupts, const char* request);
