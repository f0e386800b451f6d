// Runs a worker on a thread of its own as the uploader dialogs do, and
// follows it every 100 ms as their timer does (its status first, then its
// progress), showing the progress until the status comes. Ctrl-C during an
// update is explained rather than obeyed (console.h): the first one says
// why and for how long the update still runs; a second one abandons it.
#pragma once
#include <cstdint>
#include <string>

#include "cli/output.h"
#include "uploader/target_table.h"

struct WorkerRun {
    const TargetRow* row;    // the target: what the progress counts, its name in the texts
    void (*worker)();
    int32_t total;           // units in the run
    double secondsPerUnit;   // a unit's time on the line, for an estimate before a rate
    int update;              // 1: it changes the device, and must not be stopped halfway
    std::string advice;      // an update: what to do after abandoning it
};

// The worker's status (uploadResult), 0 when its thread did not start, or
// -1 when it was interrupted (a read-back) or abandoned (an update): the
// caller then ends the program at once, with the worker still running.
// After an update's status interrupts are still held, until its result has
// been reported (ConsoleReported).
int32_t RunWorker(const WorkerRun& run);

// Gives row's worker its image store, one for each target. The stores live
// as long as the program: a worker abandoned by Ctrl-C reads its store
// until the program has ended.
void AttachImageStore(const TargetRow& row);
