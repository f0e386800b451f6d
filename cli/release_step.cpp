#include "cli/release_step.h"

#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/port_select.h"
#include "cli/probe_step.h"

int ReadReleaseStep(const std::string& path, const std::string& target, Release* release, CliReport* report) {
    std::string error;
    int ok = ReadRelease(path, release, &error);
    for (size_t i = 0; ok && i < release->images.size(); ++i)
        if (target.empty() || release->images[i].target == target)
            ok = CheckReleaseImage(*release, release->images[i], &error);
    if (ok) return kExitDone;
    report->message = error + "; nothing was sent to the device";
    Complain("%s: %s: %s", kCliName, path.c_str(), report->message.c_str());
    return kExitFile;
}

int PickReleaseStep(const Release& release, const TargetRow& row, const TargetProbeLines& lines,
                    const ReleaseImage** picked, CliReport* report) {
    std::string why;
    *picked = PickReleaseImage(release, row.key, lines.fit, &why);
    if (*picked == nullptr) {
        report->message = why;
        Complain("%s: %s", kCliName, why.c_str());
        return kExitFile;
    }
    Say("%s", ReleaseTakenText(release, **picked, lines.fit).c_str());
    return kExitDone;
}

int ReleaseImageStep(const TargetRow& row, const std::string& file, const std::string& port, std::string* image,
                     CliReport* report) {
    *image = file;
    if (!IsReleasePath(file)) return kExitDone;
    Release release;
    int read = ReadReleaseStep(file, row.key, &release, report);
    if (read != kExitDone) return read;
    char device[600];
    CliPortDevice(port.c_str(), device, sizeof device);
    int opened = OpenStep(row, port, device, report);
    if (opened != kExitDone) return opened;
    TargetProbeLines lines;
    row.identify(&lines);
    int probed = ReportProbe(row, lines, port, report);
    if (probed != kExitDone) return probed;
    const ReleaseImage* picked = nullptr;
    int fits = PickReleaseStep(release, row, lines, &picked, report);
    if (fits != kExitDone) return fits;
    *image = ReleaseImagePath(release, *picked);
    return kExitDone;
}
