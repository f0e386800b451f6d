// The ports of a bench, and the name of each one's line log.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/bench.h"
#include "cli/console.h"
#include "cli/exit_codes.h"

namespace {

std::string Trimmed(const std::string& text) {
    size_t from = text.find_first_not_of(" \t\r\n");
    if (from == std::string::npos) return "";
    size_t to = text.find_last_not_of(" \t\r\n");
    return text.substr(from, to - from + 1);
}

}  // namespace

int BenchWanted(const CliOptions& options) {
    if (options.benchWorker) return 0;
    return options.ports.size() > 1 || !options.portsFile.empty() || options.retryFailed;
}

int BenchPortList(const CliOptions& options, std::vector<std::string>* ports) {
    *ports = options.ports;
    if (!options.portsFile.empty()) {
        FILE* f = std::fopen(options.portsFile.c_str(), "r");
        if (f == nullptr) {
            Complain("%s: %s: cannot be opened: %s", kCliName, options.portsFile.c_str(), std::strerror(errno));
            return kExitFile;
        }
        char line[1024];
        while (std::fgets(line, sizeof line, f) != nullptr) {
            std::string text = line;
            size_t comment = text.find('#');
            if (comment != std::string::npos) text.resize(comment);
            text = Trimmed(text);
            if (!text.empty()) ports->push_back(text);
        }
        std::fclose(f);
        if (ports->empty()) {
            Complain("%s: %s: no port in it (one a line; # begins a comment)", kCliName, options.portsFile.c_str());
            return kExitUsage;
        }
    }
    for (size_t i = 0; i < ports->size(); ++i) {
        if (std::find(ports->begin(), ports->begin() + i, (*ports)[i]) != ports->begin() + i) {
            Complain("%s: %s is named twice: each board needs a port of its own", kCliName, (*ports)[i].c_str());
            return kExitUsage;
        }
    }
    return kExitDone;
}

std::string BenchLogName(const std::string& dir, const std::string& port, std::vector<std::string>* taken) {
    // "port-" first: on Windows a file named COM4.log, whatever its
    // folder, is the port COM4 itself (as are CON, NUL, LPT1 ...).
    std::string name = "port-";
    for (char c : port) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
                     c == '.';
        if (plain || (name.back() != '_' && name.back() != '-')) name.push_back(plain ? c : '_');
    }
    std::string unique = name;
    for (int n = 2; std::find(taken->begin(), taken->end(), unique) != taken->end(); ++n)
        unique = name + "-" + std::to_string(n);
    taken->push_back(unique);
    return dir + "/" + unique + ".log";
}
