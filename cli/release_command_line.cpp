#include "cli/release_command_line.h"

#include <CLI/CLI.hpp>

void AddReleaseCommands(CLI::App* app, ReleaseMakeOptions* options, std::string* file, std::vector<std::string>* ports,
                        bool* json) {
    CLI::App* release = app->add_subcommand("release", "make a release: a folder of images and release.json");
    release->require_subcommand(1);
    CLI::App* make = release->add_subcommand(
        "make", "copy the images into DIR, each loaded as update loads it, and write DIR/release.json");
    make->add_option("DIR", *file, "the release's folder (made when missing)")->required()->type_name("");
    make->add_option("--name", options->name, "the release's name")->required()->type_name("NAME");
    make->add_option("--version", options->version, "the release's version")->required()->type_name("V");
    make->add_option("IMAGES", options->images,
                     "TARGET:FILE for each image (t62:main.hex psoc:panel.hex zq3:jade.bin zq3:ruby.bin); "
                     "t62@B,C:FILE for a T62 image of those hardware revisions only")
        ->required()
        ->type_name("");
    make->add_flag("--force", options->force, "replace a release already in DIR");

    CLI::App* status = app->add_subcommand(
        "status", "probe each target on the port and say what it has against the release, and whether it is out "
                  "of date (changes nothing on the device)");
    status->add_option("RELEASE", *file, "release.json or its folder")->required()->type_name("");
    status->add_option("--port", *ports, "the serial port: a device, serial=NUMBER, or COMn")
        ->required()
        ->type_name("PORT")
        ->allow_extra_args(false);
    status->add_flag("--json", *json,
                     "print one JSON object at the end, with each target's state (other texts go to standard error)");
}
