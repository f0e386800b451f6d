// A bench's worker process: one port's run, on the image its parent loaded.
#include "cli/bench.h"
#include "cli/bench_image.h"
#include "cli/bench_process.h"
#include "cli/commands.h"
#include "cli/exit_codes.h"

int RunBenchWorker(const CliOptions& options, CliReport* report) {
    if (options.command == "probe") return RunProbe(options, report);
    if (!UnpackLoadedImage(options.target, BenchReadInput(), report)) {
        report->message = "the loaded image did not come whole from the bench";
        return kExitFile;
    }
    if (options.command == "verify") return RunLoadedVerify(options, report);
    return RunLoadedUpdate(options, report);
}
