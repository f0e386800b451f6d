#include "cli/worker_run.h"

#include <vector>

#include "bench/worker_events.h"
#include "cli/console.h"
#include "cli/progress.h"
#include "cli/stop_rule.h"
#include "core/app_state.h"
#include "core/line_log.h"
#include "core/platform.h"

namespace {

int32_t UnitsDone(const WorkerRun& run) {
    if (run.row->unitBytes == 0) return AppState.keyerRecordsSent;
    return AppState.progressBytes / run.row->unitBytes;
}

// The bytes a unit stands for in the rate: image bytes, or for records
// (all of one size) the run's bytes on the wire shared out among them.
int32_t BytesPerUnit(const WorkerRun& run) {
    if (run.row->unitBytes != 0 || run.total <= 0) return run.row->unitBytes;
    return static_cast<int32_t>(run.row->runBytes() / run.total);
}

int PercentDone(const WorkerRun& run, int32_t done) {
    if (run.total <= 0) return 100;
    if (done > run.total) done = run.total;
    return static_cast<int>(static_cast<int64_t>(done) * 100 / run.total);
}

}  // namespace

void AttachImageStore(const TargetRow& row) {
    static std::vector<uint8_t> stores[kTargetCount];
    std::vector<uint8_t>& store = stores[row.id];
    if (store.empty()) store.resize(row.storeSize);
    row.attachStore(store.data());
}

int32_t RunWorker(const WorkerRun& run) {
    AppState.uploadResult = 0;
    ConsoleHoldInterrupts(1);
    if (!PlatformStartThread(run.worker)) {
        ConsoleHoldInterrupts(0);
        return 0;
    }
    Progress progress;
    ProgressBegin(&progress, run.row->unit, run.total, BytesPerUnit(run), run.secondsPerUnit);
    WorkerEventPhase(run.update ? "update" : "verify");
    if (run.update) WorkerEventText("advice", run.advice);
    StopRule rule;
    rule.updating = run.update;
    for (;;) {
        ConsoleWait(kWorkerTickMs);
        int32_t status = AppState.uploadResult;
        int32_t done = UnitsDone(run);
        WorkerEventPercent(PercentDone(run, done));
        if (status != 0) {
            ProgressEnd(&progress, done);
            // An update's result is reported before an interrupt may end
            // the program: a device that holds the image is never told as
            // interrupted (main lets interrupts go once it is out).
            if (!run.update) ConsoleHoldInterrupts(0);
            return status;
        }
        ProgressShow(&progress, done);
        StopStep stop = StopCheck(&rule, ConsoleInterrupts(), ConsoleStopRequest());
        if (stop.tellRequest != nullptr) {
            Complain("%s: %s: the %s update runs to its end first (about %s), then the program stops.", kCliName,
                     stop.tellRequest, run.row->device, DescribeDuration(ProgressSecondsLeft(&progress)).c_str());
            LineLogNote("%s: the update goes on", stop.tellRequest);
        }
        if (stop.abandon) {
            ProgressEnd(&progress, done);
            if (run.update)
                Complain("%s: update abandoned. %s", kCliName, run.advice.c_str());
            else
                Complain("%s: interrupted; nothing on the %s was changed.", kCliName, run.row->device);
            LineLogNote("%s by the user", run.update ? "abandoned" : "interrupted");
            return -1;
        }
        if (stop.explainInterrupt) {
            Complain("%s: the %s update cannot be stopped safely: it would leave the %s half programmed.", kCliName,
                     run.row->device, run.row->device);
            Complain("%s: it still runs for about %s. Press Ctrl-C again to abandon it anyway.", kCliName,
                     DescribeDuration(ProgressSecondsLeft(&progress)).c_str());
            LineLogNote("Ctrl-C: the update goes on");
        }
    }
}
