// A bench's worker process: one port's run, on the image its parent loaded.
#include "bench/bench_image.h"
#include "bench/bench_process.h"
#include "cli/bench.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"
#include "cli/worker_run.h"

int RunBenchWorker(const CliOptions& options, CliReport* report) {
    if (options.command == "probe") return RunProbe(options, report);
    const TargetRow& row = *TargetNamed(options.target);
    AttachImageStore(row);
    if (!UnpackLoadedImage(row, BenchReadInput())) {
        report->message = "the loaded image did not come whole from the bench";
        return kExitFile;
    }
    report->bytes = row.runBytes();
    if (options.command == "verify") return RunLoadedVerify(options, report);
    return RunLoadedUpdate(options, report);
}
