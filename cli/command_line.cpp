#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/command_help.h"
#include "cli/console.h"
#include "cli/exit_codes.h"

const char* const kCliVersion = RIDOREZ_VERSION;

namespace {

const std::string kAbout = std::string(kCliName) +
    ": updates the firmware of a T62 (its PIC), of its PSoC or of a ZQ3 keyer IC over a serial port, "
    "as the T62 Firmware Update Utility does.";

const char* const kJsonHelp =
    "print one JSON object at the end (other texts go to standard error); a bench: one a line for each event "
    "of each port, then the summary";

// TARGET: a target of the table, only one whose memory reads back
// (readBackOnly), or with all also "all".
void AddTarget(CLI::App* command, CliOptions* options, bool readBackOnly, bool all = false) {
    std::vector<std::string> keys = TargetKeys(readBackOnly);
    CLI::Option* target = command->add_option("TARGET", options->target, TargetKeyList(readBackOnly));
    target->required();
    if (all) keys.push_back("all");
    target->check(CLI::IsMember(keys));
}

void AddPort(CLI::App* command, CliOptions* options) {
    command->add_option("--port", options->port, "the serial port: a device, serial=NUMBER, or COMn")->required()->type_name("PORT");
}

// The ports of a command that also runs as a bench.
void AddPorts(CLI::App* command, CliOptions* options) {
    command->add_option("--port", options->ports, "the serial port: a device, serial=NUMBER, or COMn; again for each further board")
        ->type_name("PORT")
        ->allow_extra_args(false);
    command->add_option("--ports", options->portsFile, "the ports of a bench, one a line (# comments)")
        ->type_name("FILE");
    command->add_flag("--retry-failed", options->retryFailed,
                      "a bench: run the ports that failed once more at the end, and say which came back");
    command->add_flag("--bench-worker", options->benchWorker)->group("");
}

void AddLog(CLI::App* command, CliOptions* options) {
    command->add_option("--log", options->log,
                        "write every chunk each way, with its time and line speed, and the events of the run "
                        "to this file (for a bug report); a bench: one such log per port, in a new folder for the run "
                        "in this folder")
        ->type_name("FILE");
}

// A factory station: every board updated as it is connected (station.h).
void AddStation(CLI::App* app, CliOptions* options) {
    CLI::App* station = app->add_subcommand(
        "station", "update each board as it is connected to one of the ports, and write a record of each");
    AddTarget(station, options, false);
    station->add_option("FILE", options->file, "the image: Intel HEX (t62, psoc), ZQ3 image (zq3)")
        ->required()
        ->type_name("");
    station->add_option("--port", options->ports, "a port a board is connected to; again for each further port")
        ->type_name("PORT")
        ->allow_extra_args(false);
    station->add_option("--ports", options->portsFile, "the ports, one a line (# comments)")->type_name("FILE");
    station->add_option("--records", options->records,
                        "append a record of each board to this file (one JSON object a line), flushed to disk")
        ->required()
        ->type_name("FILE");
    station->add_flag("--csv", options->csv, "write the records as CSV, for a spreadsheet");
    station->add_option("--station", options->station, "the station's name in the records (default: the host's)")
        ->type_name("NAME");
    station->add_flag("--again", options->again,
                      "update a board again while it stays connected (else the next board must replace it)");
}

// The commands, their arguments and options.
void AddCommands(CLI::App* app, CliOptions* options) {
    CLI::App* ports = app->add_subcommand("ports", "list the serial ports present, one a line");
    ports->add_flag("--json", options->json, "print them as one JSON object");

    CLI::App* probe = app->add_subcommand("probe", "check that the target answers, and show its versions");
    AddTarget(probe, options, false);
    AddPorts(probe, options);
    AddLog(probe, options);
    probe->add_flag("--json", options->json, kJsonHelp);

    CLI::App* update = app->add_subcommand("update", "program FILE into the target (probe, load, update, verify)");
    AddTarget(update, options, false, true);
    update->add_option("FILE", options->file,
                       "the image: Intel HEX (t62, psoc), ZQ3 image (zq3); or a release (release.json or its "
                       "folder), whose image for the device is taken; TARGET all: each target out of date")
        ->required()
        ->type_name("");
    AddPorts(update, options);
    AddLog(update, options);
    update->add_flag("--quiet", options->quiet, "print only the final message and errors");
    update->add_flag("--json", options->json, kJsonHelp);

    CLI::App* verify = app->add_subcommand(
        "verify", "compare the T62 with what an update of FILE programs (changes nothing on the device)");
    AddTarget(verify, options, true);
    verify->add_option("FILE", options->file, "the Intel HEX image, or a release (release.json or its folder)")->required()->type_name("");
    AddPorts(verify, options);
    AddLog(verify, options);
    verify->add_flag("--json", options->json, kJsonHelp);

    CLI::App* backup = app->add_subcommand(
        "backup", "read the T62's whole program memory into FILE, as Intel HEX that `update t62` programs back");
    AddTarget(backup, options, true);
    backup->add_option("FILE", options->file, "the Intel HEX file to write")->required()->type_name("");
    AddPort(backup, options);
    AddLog(backup, options);
    backup->add_flag("--json", options->json, "print one JSON object at the end (other texts go to standard error)");
    AddReleaseCommands(app, &options->release, &options->file, &options->ports, &options->json);

    AddStation(app, options);

    for (CLI::App* command : app->get_subcommands(nullptr)) command->footer(HelpFooter(command->get_name()));
}

// A command that takes ports has one at least; the first is the run's.
// Returns -1 to go on, else the exit code.
int CheckPorts(CliOptions* options) {
    if (options->command != "backup" && options->command != "ports" && options->command != "release") {
        if (options->ports.empty() && options->portsFile.empty()) {
            std::fprintf(stderr, "%s: --port is required\nSee `%s %s --help`.\n", kCliName, kCliName,
                         options->command.c_str());
            return kExitUsage;
        }
        if (!options->ports.empty()) options->port = options->ports.front();
    }
    return -1;
}

}  // namespace

int ParseCommandLine(int argc, char** argv, CliOptions* options) {
    // A command that does not exist, said before CLI11 takes it for an
    // argument that no command was given for.
    CLI::App app{kAbout, kCliName};
    app.set_version_flag("--version", std::string(kCliName) + " " + kCliVersion);
    app.require_subcommand(1);
    AddCommands(&app, options);
    if (argc > 1 && argv[1][0] != '-') {
        std::vector<std::string> commands;
        for (const CLI::App* command : app.get_subcommands(nullptr)) commands.push_back(command->get_name());
        std::string unknown = UnknownCommandText(argv[1], commands);
        if (!unknown.empty()) {
            std::fprintf(stderr, "%s: %s\n", kCliName, unknown.c_str());
            return kExitUsage;
        }
    }
    app.footer(HelpSynopsis() + HelpFooter(""));

    try {
        app.parse(argc, argv);
    } catch (const CLI::ParseError& e) {
        // Help and version end with code 0; CLI11's own codes for a wrong
        // command line (105 for a bad argument) are not ours.
        if (e.get_exit_code() == 0) {
            app.exit(e);
            return kExitDone;
        }
        std::string command;
        if (!app.get_subcommands().empty()) command = app.get_subcommands().front()->get_name() + " ";
        std::fprintf(stderr, "%s: %s\nSee `%s %s--help`.\n", kCliName, e.what(), kCliName, command.c_str());
        return kExitUsage;
    }
    options->command = app.get_subcommands().front()->get_name();
    return CheckPorts(options);
}

std::string CommandLineText(int argc, char** argv) {
    std::string text;
    for (int i = 0; i < argc; ++i) {
        if (i) text += ' ';
        text += argv[i];
    }
    return text;
}
