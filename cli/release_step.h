// A release in place of an image file: read, its images checked against
// their sizes and SHA-256 before anything goes to a device, and the image
// for the device that answers picked by the target's probe.
#pragma once
#include <string>

#include "cli/output.h"
#include "release/release.h"
#include "uploader/target_table.h"

// Reads the release at path and checks its images of target ("" every
// image). kExitDone, or kExitFile after saying why (nothing was sent).
int ReadReleaseStep(const std::string& path, const std::string& target, Release* release, CliReport* report);

// The release's image for the device lines describe, said as taken;
// kExitDone, or kExitFile after saying what the release has and what the
// device is.
int PickReleaseStep(const Release& release, const TargetRow& row, const TargetProbeLines& lines,
                    const ReleaseImage** picked, CliReport* report);

// When file names a release: reads and checks it, probes row's target on
// port, and sets image to the path of the release's image for that
// device. When it names no release, image is file. kExitDone, or the exit
// code after saying why.
int ReleaseImageStep(const TargetRow& row, const std::string& file, const std::string& port, std::string* image,
                     CliReport* report);
