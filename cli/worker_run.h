// Runs a worker on a thread of its own as the uploader dialogs do, and
// follows it every 100 ms as their timer does (its status first, then its
// progress), showing the progress until the status comes. Ctrl-C during an
// update is explained rather than obeyed (console.h): the first one says
// why and for how long the update still runs; a second one abandons it.
#pragma once
#include <cstdint>
#include <string>

#include "cli/output.h"
#include "core/app_state.h"

struct WorkerRun {
    void (*worker)();
    const char* unit;        // what the progress counts
    int32_t total;           // units in the run
    int32_t unitBytes;       // image bytes per unit: progressBytes / unitBytes units are done
    int keyerRecords;        // 1: the units are keyerRecordsSent instead
    double secondsPerUnit;   // a unit's time on the line, for an estimate before a rate
    int update;              // 1: it changes the device, and must not be stopped halfway
    std::string device;      // "T62", "PSoC", "ZQ3 IC", in the texts
    std::string advice;      // an update: what to do after abandoning it
};

// The worker's status (uploadResult), 0 when its thread did not start, or
// -1 when it was interrupted (a read-back) or abandoned (an update): the
// caller then ends the program at once, with the worker still running.
// After an update's status interrupts are still held, until its result has
// been reported (ConsoleReported).
int32_t RunWorker(const WorkerRun& run);

// The image stores the workers read. They live as long as the program: a
// worker abandoned by Ctrl-C reads its store until the program has ended.
uint8_t* HexImageStore();
KeyerRecord* KeyerImageStore();
