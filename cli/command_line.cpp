#include "cli/command_line.h"

#include <CLI/CLI.hpp>

#include <cstdio>

#include "cli/console.h"
#include "cli/exit_codes.h"

const char* const kCliVersion = RIDOREZ_VERSION;

namespace {

const char* const kAbout =
    "ridorez: updates the firmware of a T62 (its PIC), of its PSoC or of a ZQ3 keyer IC over a serial port, "
    "as the T62 Firmware Update Utility does.";

// The forms of the command line, with the program's name.
std::string Synopsis() {
    std::string n = kCliName;
    return "Usage:\n"
           "  " + n + " ports\n"
           "  " + n + " probe  TARGET PORTS [--log FILE] [--json]\n"
           "  " + n + " update TARGET FILE PORTS [--log FILE] [--quiet] [--json]\n"
           "  " + n + " verify t62 FILE PORTS [--log FILE] [--json]\n"
           "  " + n + " backup t62 FILE --port PORT [--log FILE]\n"
           "  " + n + " release make DIR --name NAME --version V TARGET:FILE... [--force]\n"
           "  " + n + " status RELEASE --port PORT [--json]\n"
           "  " + n + " update all RELEASE --port PORT [--log FILE] [--json]\n"
           "  " + n + " COMMAND --help\n\n";
}

// The exit codes' texts, wrapped to the width of the rest of the help.
std::string ExitCodeLines() {
    const size_t kWidth = 96, kIndent = 13;
    std::string lines = "Exit codes:\n";
    for (int i = 0; i < kCliExitTextCount; ++i) {
        std::string line = "  " + std::string(kCliExitTexts[i].code);
        line.resize(kIndent, ' ');
        std::string words = kCliExitTexts[i].text;
        size_t at = 0;
        while (at < words.size()) {
            size_t end = words.find(' ', at);
            if (end == std::string::npos) end = words.size();
            std::string word = words.substr(at, end - at);
            if (line.size() > kIndent && line.size() + 1 + word.size() > kWidth) {
                lines += line + "\n";
                line = std::string(kIndent, ' ');
            }
            if (line.size() > kIndent) line += ' ';
            line += word;
            at = end + 1;
        }
        lines += line + "\n";
    }
    return lines;
}

std::string Footer() {
    return std::string(
               "TARGET is t62, psoc or zq3. PORT is a device (/dev/ttyUSB0, /dev/serial/by-id/usb-..., "
               "/dev/cu.usbserial-A5, \\\\.\\COM12), serial=NUMBER (the one USB adapter with that serial "
               "number, Linux) or COMn (see `") +
           kCliName +
           " ports`). Natively COMn is the link comn in the folder of COM ports: $RIDOREZ_COM_DIR, else "
           "$XDG_RUNTIME_DIR/ridorez-com when that folder is the user's own, else ~/.ridorez-com; a folder or "
           "link that another user owns or may change is refused (exit code 4).\n"
           "PORTS is --port PORT, or a bench of boards at once: --port A --port B ..., or --ports FILE (one port a "
           "line, # comments), each port in a process of its own, with a summary at the end; --log is then a "
           "folder (one log per port), and --retry-failed runs the ports that failed once more at the end.\n"
           "\n" + ExitCodeLines() +
           "A bench ends with 0 when every board is done, else with the highest code of a board.";
}

const char* const kJsonHelp =
    "print one JSON object at the end (other texts go to standard error); a bench: one a line for each event "
    "of each port, then the summary";

void AddTarget(CLI::App* command, CliOptions* options, bool t62Only, bool all = false) {
    CLI::Option* target = command->add_option("TARGET", options->target, t62Only ? "t62" : "t62, psoc or zq3");
    target->required();
    if (t62Only)
        target->check(CLI::IsMember({"t62"}));
    else if (all)
        target->check(CLI::IsMember({"t62", "psoc", "zq3", "all"}));
    else
        target->check(CLI::IsMember({"t62", "psoc", "zq3"}));
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
                        "to this file (for a bug report); a bench: one such log per port in this folder")
        ->type_name("FILE");
}

// The commands, their arguments and options.
void AddCommands(CLI::App* app, CliOptions* options) {
    app->add_subcommand("ports", "list the serial ports present, one a line");

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
    AddReleaseCommands(app, &options->release, &options->file, &options->ports, &options->json);

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
    CLI::App app{kAbout, kCliName};
    app.footer(Footer());
    app.set_version_flag("--version", std::string(kCliName) + " " + kCliVersion);
    app.require_subcommand(1);
    AddCommands(&app, options);
    // The whole synopsis above the main help; each command's help has the
    // footer alone, which it took when it was made.
    app.footer(Synopsis() + Footer());

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
