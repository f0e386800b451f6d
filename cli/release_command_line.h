// The command line's commands for a release: release make and status
// (update all is update's TARGET "all").
#pragma once
#include <string>
#include <vector>

namespace CLI {
class App;
}

// ridorez release make DIR: the release's name and version, its images as
// TARGET:FILE, and whether a release there may be replaced.
struct ReleaseMakeOptions {
    std::string name, version;
    std::vector<std::string> images;
    bool force = false;
};

// The commands, over the command line's own FILE (DIR, RELEASE), --port
// and --json.
void AddReleaseCommands(CLI::App* app, ReleaseMakeOptions* make, std::string* file, std::vector<std::string>* ports,
                        bool* json);
