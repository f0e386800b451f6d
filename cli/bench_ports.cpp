// The ports of a bench, and the name of each one's line log.
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "cli/bench.h"
#include "cli/console.h"
#include "cli/exit_codes.h"
#include "cli/port_select.h"
#include "core/platform.h"

namespace {

// A port of the bench and where it was named: on the command line (line
// 0), or on a line of the ports file.
struct NamedPort {
    std::string port;
    int line = 0;
};

std::string Trimmed(const std::string& text) {
    size_t from = text.find_first_not_of(" \t\r\n");
    if (from == std::string::npos) return "";
    size_t to = text.find_last_not_of(" \t\r\n");
    return text.substr(from, to - from + 1);
}

// The whole file at path into *text. Returns 0 (errno set) when it cannot
// be opened or read.
int ReadWhole(const std::string& path, std::string* text) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return 0;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text->append(buffer, n);
    int error = std::ferror(f) ? errno : 0;
    std::fclose(f);
    errno = error;
    return error == 0;
}

// The ports of the file's text, one a line, as an editor saves it: with or
// without a UTF-8 byte-order mark, with LF, CRLF or CR line ends; from a #
// to the line's end is a comment, blanks around a port go.
void PortLines(std::string text, std::vector<NamedPort>* ports) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    int line = 1;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find_first_of("\r\n", at);
        if (end == std::string::npos) end = text.size();
        std::string port = text.substr(at, end - at);
        size_t comment = port.find('#');
        if (comment != std::string::npos) port.resize(comment);
        port = Trimmed(port);
        if (!port.empty()) ports->push_back({port, line});
        at = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
        ++line;
    }
}

// The COM port number of a Windows name (COM4, com4, \\.\COM12), else 0.
long ComNumber(const std::string& device) {
    std::string name = device.compare(0, 4, "\\\\.\\") == 0 ? device.substr(4) : device;
    if (name.size() < 4 || name.size() > 8) return 0;
    for (size_t i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i]) return 0;
    for (size_t i = 3; i < name.size(); ++i)
        if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    return std::strtol(name.c_str() + 3, nullptr, 10);
}

// Whether two ports' devices are one: the same name, the same COM port, or
// (a device that is a file: POSIX) the same file through links. A Windows
// device is never opened to find out: an open may toggle its modem lines.
int SameDevice(const std::string& a, const std::string& b) {
    if (a == b) return 1;
    long ca = ComNumber(a), cb = ComNumber(b);
    if (ca != 0 || cb != 0) return ca == cb;
    if (a.compare(0, 4, "\\\\.\\") == 0 || b.compare(0, 4, "\\\\.\\") == 0) return 0;
    return PlatformSameFile(a.c_str(), b.c_str());
}

// Where a port was named, as the message about port 'about' puts it.
std::string Where(const NamedPort& p, const NamedPort& about, const std::string& file) {
    if (p.line == 0) return about.line == 0 ? "" : " on the command line";
    return about.line == 0 ? " in " + file + " line " + std::to_string(p.line) : " on line " + std::to_string(p.line);
}

// "" when every port names a device of its own; else why not.
std::string Duplicate(const std::vector<NamedPort>& ports, const std::string& file) {
    std::vector<std::string> devices;
    for (const NamedPort& p : ports) {
        char device[600];
        CliPortDevice(p.port.c_str(), device, sizeof device);
        devices.push_back(device);
    }
    for (size_t i = 0; i < ports.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (!SameDevice(devices[i], devices[j])) continue;
            const NamedPort& p = ports[i];
            std::string lead = p.line == 0 ? "--port " : file + " line " + std::to_string(p.line) + ": ";
            std::string where = Where(ports[j], p, file);
            if (p.port == ports[j].port)
                return lead + p.port + " is named twice" + (where.empty() ? "" : " (also" + where + ")");
            // The device the links lead to (a COM port is named as it is).
            std::string real = devices[i];
            std::error_code error;
            if (ComNumber(real) == 0) real = std::filesystem::canonical(devices[i], error).string();
            if (error) real = devices[i];
            std::string both = real == p.port || real == ports[j].port ? "" : " (" + real + ")";
            return lead + p.port + " is the same port as " + ports[j].port + where + both;
        }
    }
    return "";
}

}  // namespace

int BenchWanted(const CliOptions& options) {
    if (options.benchWorker) return 0;
    return options.ports.size() > 1 || !options.portsFile.empty() || options.retryFailed;
}

int BenchPortList(const CliOptions& options, std::vector<std::string>* ports) {
    std::vector<NamedPort> named;
    for (const std::string& port : options.ports) named.push_back({port, 0});
    const std::string& file = options.portsFile;
    if (!file.empty()) {
        std::string text;
        if (!ReadWhole(file, &text)) {
            Complain("%s: %s: cannot be read: %s", kCliName, file.c_str(), std::strerror(errno));
            return kExitFile;
        }
        if (text.compare(0, 2, "\xFF\xFE") == 0 || text.compare(0, 2, "\xFE\xFF") == 0) {
            Complain("%s: %s: UTF-16 text; save it as UTF-8 (one port a line; # begins a comment)", kCliName,
                     file.c_str());
            return kExitUsage;
        }
        size_t before = named.size();
        PortLines(text, &named);
        if (named.size() == before) {
            Complain("%s: %s: no port in it (one a line; # begins a comment)", kCliName, file.c_str());
            return kExitUsage;
        }
        // An image or another file given by mistake would be a bench of a
        // board per line, each in a process of its own.
        if (text.find('\0') != std::string::npos || named[before].port[0] == ':') {
            Complain("%s: %s: not a list of ports (%s); give one port a line", kCliName, file.c_str(),
                     named[before].port[0] == ':' ? "an Intel HEX file" : "binary data");
            return kExitUsage;
        }
    }
    std::string twice = Duplicate(named, file);
    if (!twice.empty()) {
        Complain("%s: %s: each board needs a port of its own", kCliName, twice.c_str());
        return kExitUsage;
    }
    ports->clear();
    for (const NamedPort& p : named) ports->push_back(p.port);
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
