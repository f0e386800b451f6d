#include "cli/command_help.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "cli/console.h"
#include "cli/exit_codes.h"
#include "uploader/target_table.h"

namespace {

// Words a user may try for a command, and the command they mean.
const struct {
    const char* word;
    const char* command;
} kSynonyms[] = {
    {"flash", "update"},   {"program", "update"}, {"write", "update"},   {"upload", "update"},
    {"install", "update"}, {"upgrade", "update"}, {"read", "backup"},    {"dump", "backup"},
    {"save", "backup"},    {"check", "verify"},   {"compare", "verify"}, {"list", "ports"},
    {"port", "ports"},     {"info", "probe"},     {"detect", "probe"},   {"identify", "probe"},
};

// The exit codes (their texts' keys) that each command can end with.
const struct {
    const char* command;
    std::vector<std::string> codes;
} kCommandCodes[] = {
    {"ports", {"0", "2"}},
    {"probe", {"0", "2", "3", "4", "5", "130"}},
    {"update", {"0", "2", "3", "4", "5", "6", "100 + code", "130"}},
    {"verify", {"0", "2", "3", "4", "5", "6", "7", "130"}},
    {"backup", {"0", "2", "3", "4", "5", "6", "130"}},
    {"station", {"0", "2", "3", "4", "5", "6", "7"}},
    {"release", {"0", "2", "3"}},
    {"status", {"0", "2", "3", "4", "5"}},
};

// The exit codes' texts (all, or those of codes), wrapped to the width of
// the rest of the help.
std::string ExitCodeLines(const std::vector<std::string>* codes) {
    const size_t kWidth = 96, kIndent = 13;
    std::string lines = "Exit codes:\n";
    for (int i = 0; i < kCliExitTextCount; ++i) {
        if (codes != nullptr && std::find(codes->begin(), codes->end(), kCliExitTexts[i].code) == codes->end())
            continue;
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

std::string PortText() {
    return std::string("PORT is a device (/dev/ttyUSB0, /dev/serial/by-id/usb-..., /dev/cu.usbserial-A5, "
                       "\\\\.\\COM12), serial=NUMBER (the one USB adapter with that serial number) or COMn; `") +
           kCliName + " ports` lists the ports present.\n";
}

const char* const kBenchText =
    "Several boards at once (a bench): --port A --port B ..., or --ports FILE (one port a line, # comments); each "
    "port runs in a process of its own, with a summary at the end. --log is then a folder, which gets a folder of "
    "its own for each run; --retry-failed runs the ports that failed once more at the end. A bench ends with 0 when "
    "every board is done, else with the highest code of a board.\n";

// The example lines of command, each a command line after the program's name.
std::vector<std::string> Examples(const std::string& command) {
    std::string port = kCliExamplePort;
    if (command == "ports") return {"ports", "ports --json"};
    if (command == "probe") return {"probe t62 --port " + port, "probe zq3 --port serial=A5XK3RJF --json"};
    if (command == "update")
        return {"update t62 firmware.hex --port " + port, "update zq3 keyer.bin --port " + port + " --log update.log",
                "update psoc psoc.hex --ports boards.txt --log logs --retry-failed",
                "update all keyer-2.1/release.json --port " + port};
    if (command == "verify") return {"verify t62 firmware.hex --port " + port};
    if (command == "release")
        return {"release make keyer-2.1 --name Keyer --version 2.1 t62:t62-app.hex psoc:psoc.hex zq3:jade.bin "
                "zq3:ruby.bin",
                "update all keyer-2.1 --port " + port};
    if (command == "status") return {"status keyer-2.1 --port " + port, "update all keyer-2.1 --port " + port};
    if (command == "station")
        return {"station t62 firmware.hex --ports boards.txt --records records.jsonl --station line-2",
                "station zq3 keyer.bin --port " + port + " --records records.csv --csv"};
    return {"backup t62 t62-backup.hex --port " + port, "update t62 t62-backup.hex --port " + port};
}

std::string ExampleLines(const std::string& command) {
    std::string lines = "Examples:\n";
    for (const std::string& e : Examples(command)) lines += "  " + std::string(kCliName) + " " + e + "\n";
    if (command == "backup") lines += "(the second programs the backup back into a T62)\n";
    return lines;
}

// What a command's arguments may be.
std::string ArgumentText(const std::string& command) {
    if (command == "ports")
        return "Lists the serial ports present, one a line, with what the system knows of each (for a USB adapter on "
               "Linux its driver, maker, ids and serial number, and its /dev/serial/by-id name below). --json prints "
               "them as one JSON object instead.\n";
    std::string text;
    if (command == "release")
        return "release make DIR: copies each image into DIR (made when missing), loads it as update would (a file "
               "that does not load is refused), and writes DIR/release.json with each image's target, size, SHA-256 "
               "and what it fits (a ZQ3 image its variant; a T62 image given as t62@B,C:FILE the hardware revisions "
               "B and C only). A folder that holds a release is refused unless --force. update, verify and status "
               "then take DIR or DIR/release.json where they take an image.\n";
    if (command == "status")
        return "RELEASE is release.json or its folder. Each target that answers on the port is probed, and its "
               "state said against the release: the ZQ3 by its firmware version, the T62 by reading back what an "
               "update would write, the PSoC cannot tell. Nothing on the device is changed.\n" +
               PortText();
    if (command == "station")
        return "TARGET is " + TargetKeyList(false) +
               "; FILE its image, as for update. Each port waits for a board to answer, "
               "updates it (then reads it back where the target can: " + TargetKeyList(true) +
               "), appends its record to --records (one JSON object a line, or "
               "CSV with --csv; flushed to disk), then waits for that board to go before the next one. PORTS is "
               "--port A --port B ..., or --ports FILE; a port that is missing is waited for. Ctrl-C: the boards "
               "being updated run to their end, no new one starts, then a summary. It ends with 0 when no board "
               "failed, else with the highest code of a failed board.\n" +
               PortText();
    if (command == "probe" || command == "update") {
        text = "TARGET is";
        for (int id = 0; id < kTargetCount; ++id) {
            const TargetRow& row = TargetOf(static_cast<TargetId>(id));
            text.append(id == 0 ? " " : id + 1 == kTargetCount ? " or " : ", ").append(row.key);
            text.append(" (the ").append(row.device).append(")");
        }
        text += ".\n";
    } else {
        text = "TARGET is " + TargetKeyList(true) + ": the targets whose loader reads their memory back.\n";
    }
    if (command == "update")
        text += "FILE is the image: an Intel HEX file for t62 and psoc, a ZQ3 image (Intel HEX text, named .bin) for "
                "zq3; or a release (its release.json or its folder), whose image for the device found is taken once "
                "its size and SHA-256 are checked. TARGET all with a release: each target that answers and is out "
                "of date, one after another.\n";
    if (command == "verify") text += "FILE is the Intel HEX image an update programmed.\n";
    if (command == "backup") text += "FILE is the Intel HEX file to write.\n";
    return text + PortText();
}

size_t EditDistance(const std::string& a, const std::string& b) {
    std::vector<size_t> row(b.size() + 1);
    for (size_t j = 0; j <= b.size(); ++j) row[j] = j;
    for (size_t i = 1; i <= a.size(); ++i) {
        size_t diagonal = row[0];
        row[0] = i;
        for (size_t j = 1; j <= b.size(); ++j) {
            size_t above = row[j];
            row[j] = std::min({row[j] + 1, row[j - 1] + 1, diagonal + (a[i - 1] == b[j - 1] ? 0 : 1)});
            diagonal = above;
        }
    }
    return row[b.size()];
}

}  // namespace

std::vector<std::string> TargetKeys(bool readBackOnly) {
    std::vector<std::string> keys;
    for (int id = 0; id < kTargetCount; ++id) {
        const TargetRow& row = TargetOf(static_cast<TargetId>(id));
        if (!readBackOnly || row.readBack != nullptr) keys.push_back(row.key);
    }
    return keys;
}

std::string TargetKeyList(bool readBackOnly) {
    std::vector<std::string> keys = TargetKeys(readBackOnly);
    std::string text;
    for (size_t i = 0; i < keys.size(); ++i) {
        if (i > 0) text.append(i + 1 == keys.size() ? " or " : ", ");
        text.append(keys[i]);
    }
    return text;
}

std::string HelpSynopsis() {
    std::string n = kCliName;
    std::string readBack;
    for (const std::string& key : TargetKeys(true)) readBack.append(readBack.empty() ? "" : "|").append(key);
    return "Usage:\n"
           "  " + n + " ports [--json]\n"
           "  " + n + " probe  TARGET PORTS [--log FILE] [--json]\n"
           "  " + n + " update TARGET FILE PORTS [--log FILE] [--quiet] [--json]\n"
           "  " + n + " verify " + readBack + " FILE PORTS [--log FILE] [--json]\n"
           "  " + n + " backup " + readBack + " FILE --port PORT [--log FILE] [--json]\n"
           "  " + n + " release make DIR --name NAME --version V TARGET:FILE... [--force]\n"
           "  " + n + " status RELEASE --port PORT [--json]\n"
           "  " + n + " update all RELEASE --port PORT [--log FILE] [--json]\n"
           "  " + n + " station TARGET FILE PORTS --records FILE [--csv] [--station NAME] [--again]\n"
           "  " + n + " COMMAND --help\n\n";
}

std::string HelpFooter(const std::string& command) {
    if (command.empty()) {
        return "TARGET is " + TargetKeyList(false) + ". " + PortText() +
               "Natively COMn is the link comn in the folder of COM ports: $RIDOREZ_COM_DIR, else "
               "$XDG_RUNTIME_DIR/ridorez-com when that folder is the user's own, else ~/.ridorez-com; a folder or "
               "link that another user owns or may change is refused (exit code 4).\n"
               "PORTS is --port PORT; probe, update and verify also take several. " + kBenchText + "\n" +
               ExitCodeLines(nullptr);
    }
    std::string text = ArgumentText(command);
    if (command == "probe" || command == "update" || command == "verify") text += kBenchText;
    text.append("\n").append(ExampleLines(command)).append("\n");
    for (const auto& c : kCommandCodes)
        if (command == c.command) text += ExitCodeLines(&c.codes);
    return text;
}

std::string UnknownCommandText(const std::string& word, const std::vector<std::string>& commands) {
    for (const std::string& c : commands)
        if (word == c) return "";
    std::string lower = word;
    for (char& c : lower) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    const char* nearest = nullptr;
    for (const auto& s : kSynonyms)
        if (lower == s.word) nearest = s.command;
    if (nearest == nullptr) {
        size_t best = word.size() + 8;
        for (const std::string& c : commands) {
            size_t d = EditDistance(lower, c);
            if (d < best) best = d, nearest = c.c_str();
        }
    }
    std::string list;
    for (const std::string& c : commands) list += (list.empty() ? "" : ", ") + c;
    return "unknown command '" + word + "'; did you mean '" + nearest + "'?\nThe commands: " + list + " (`" +
           kCliName + " COMMAND --help` for each, `" + kCliName + " --help` for all).";
}
