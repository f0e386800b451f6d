// ridorez, the command line, as a script or a user runs it: each command
// against the simulator, its exit code and what it prints when its output
// is not a terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <regex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "../unit/hex_test_files.h"
#include "image/hex_image.h"
#include "sim_harness.h"
#include "uploader/held_replies.h"

#ifndef RIDOREZ_PATH
#error "RIDOREZ_PATH must name the command line's binary"
#endif

namespace {

// A ZQ3 image of 1016 records for a JADE IC (code 104: revision 4) or a RUBY
// IC (152: revision 2), version 31.
std::string KeyerImageFile(uint8_t code) {
    std::string text;
    for (int slot = 0; slot < 1016; ++slot) {
        std::vector<uint8_t> data = Counting(16, static_cast<uint8_t>(slot));
        if (slot == 0) data[6] = 31, data[7] = code;
        text += DataLine(static_cast<uint16_t>(slot * 16), data);
    }
    return WriteTempFile(text + kEndLine, ".bin");
}

// A ZQ3 image of 1016 records for an AMBER IC, version 31, revision 3.
std::string AmberImageFile() { return KeyerImageFile(3); }

// The frames a whole upload of AmberImageFile() leaves in the simulated IC,
// as its memory file lists them: slots 1012-1015 and 1000-1003, 4 to 955,
// then 0 to 3, the last with 2E.
std::vector<std::string> AmberUploadFrames() {
    std::vector<int> slots = {1012, 1013, 1014, 1015, 1000, 1001, 1002, 1003};
    for (int slot = 4; slot <= 955; ++slot) slots.push_back(slot);
    for (int slot = 0; slot <= 3; ++slot) slots.push_back(slot);
    std::vector<std::string> frames;
    for (int slot : slots) {
        std::vector<uint8_t> data = Counting(16, static_cast<uint8_t>(slot));
        if (slot == 0) data[6] = 31, data[7] = 3;
        char line[80];
        int n = std::snprintf(line, sizeof line, "%s %04x ", slot == 3 ? "2e" : "1b", slot * 8);
        for (uint8_t b : data) n += std::snprintf(line + n, sizeof line - n, "%02x", b);
        std::snprintf(line + n, sizeof line - n, " 9600");
        frames.push_back(line);
    }
    return frames;
}

// Whether the frames the IC took last are a whole upload of AmberImageFile().
bool HoldsAmberUpload(const std::string& memory) {
    std::istringstream file(ReadTextFile(memory));
    std::vector<std::string> lines;
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    std::vector<std::string> whole = AmberUploadFrames();
    return lines.size() >= whole.size() && std::equal(whole.begin(), whole.end(), lines.end() - whole.size());
}

struct Cli {
    pid_t pid = -1;
    std::string out, err;  // files of its standard output and error
    int exit = -1;
};

// Starts ridorez with args, its standard output and error into files named
// after tag in dir; RIDOREZ_COM_DIR is comDir when one is given, and env
// ("NAME=VALUE") is added to its environment.
Cli StartCli(const std::vector<std::string>& args, const std::string& dir, const std::string& tag,
             const std::string& comDir = "", const std::vector<std::string>& env = {}) {
    Cli cli;
    cli.out = dir + "/" + tag + ".out";
    cli.err = dir + "/" + tag + ".err";
    std::vector<std::string> all = {RIDOREZ_PATH};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(&a[0]);
    argv.push_back(nullptr);
    cli.pid = fork();
    if (cli.pid == 0) {
        int out = open(cli.out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        int err = open(cli.err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(out, 1);
        dup2(err, 2);
        if (comDir.empty())
            unsetenv("RIDOREZ_COM_DIR");
        else
            setenv("RIDOREZ_COM_DIR", comDir.c_str(), 1);
        for (const std::string& e : env) putenv(strdup(e.c_str()));
        execv(argv[0], argv.data());
        _exit(127);
    }
    return cli;
}

// Waits for ridorez to end; false (and it is killed) when it runs longer
// than timeoutMs.
bool WaitCli(Cli* cli, int timeoutMs) {
    int64_t deadline = NowMs() + timeoutMs;
    for (;;) {
        int status = 0;
        if (waitpid(cli->pid, &status, WNOHANG) == cli->pid) {
            cli->exit = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            return true;
        }
        if (NowMs() > deadline) {
            kill(cli->pid, SIGKILL);
            waitpid(cli->pid, &status, 0);
            return false;
        }
        usleep(10000);
    }
}

Cli RunCli(const std::vector<std::string>& args, const std::string& dir, const std::string& tag,
           const std::string& comDir = "", const std::vector<std::string>& env = {}) {
    Cli cli = StartCli(args, dir, tag, comDir, env);
    EXPECT_TRUE(WaitCli(&cli, 120000)) << "ridorez did not end";
    return cli;
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Holds the JSON objects in files (one a line) to docs/json.md: the
// output of the check, which ends with the number of objects checked.
std::string JsonAgainstDoc(const std::vector<std::string>& files, int* status) {
    std::string command = std::string("python3 ") + RIDOREZ_SOURCE_DIR + "/tests/integration/json_doc_check.py " +
                          RIDOREZ_SOURCE_DIR + "/docs/json.md";
    for (const std::string& f : files) command += " " + f;
    FILE* p = popen((command + " 2>&1").c_str(), "r");
    std::string out;
    char buffer[512];
    while (p != nullptr && std::fgets(buffer, sizeof buffer, p) != nullptr) out += buffer;
    *status = p != nullptr ? pclose(p) : -1;
    return out;
}

// Waits until file holds text.
bool WaitForText(const std::string& file, const std::string& text, int timeoutMs) {
    int64_t deadline = NowMs() + timeoutMs;
    while (NowMs() < deadline) {
        if (Has(ReadTextFile(file), text)) return true;
        usleep(10000);
    }
    return false;
}

// The significant bytes (three of each four) of [from, to) agree.
bool SameWords(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, size_t from, size_t to) {
    if (a.size() < to || b.size() < to) return false;
    for (size_t i = from; i < to; ++i)
        if (i % 4 != 3 && a[i] != b[i]) return false;
    return true;
}

// What LoadHexImage makes of a file.
std::vector<uint8_t> Loaded(const std::string& file) {
    std::vector<uint8_t> image(kImageBufferSize);
    AppState.hexImage = image.data();
    LoadHexImage(file.c_str(), T62Image);
    AppState.hexImage = nullptr;
    return image;
}

class CliTest : public ::testing::Test {
protected:
    SimProcess sim, other, third;
    void TearDown() override {
        RemoveSimDir(&sim);
        RemoveSimDir(&other);
        RemoveSimDir(&third);
    }
};

TEST_F(CliTest, ProbeShowsWhatTheMainWindowShows) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62,psoc,keyer", "--keyer-variant", "jade"}));
    Cli t62 = RunCli({"probe", "t62", "--port", sim.link}, sim.dir, "t62");
    EXPECT_EQ(0, t62.exit);
    EXPECT_EQ("F/W Loader v2.5 Connected\nT62 H/W Revision A\n", ReadTextFile(t62.out));
    // COMn is the link in RIDOREZ_COM_DIR, as for the Windows program's tests.
    Cli psoc = RunCli({"probe", "psoc", "--port", "COM4"}, sim.dir, "psoc", sim.dir);
    EXPECT_EQ(0, psoc.exit);
    EXPECT_EQ("PSoC Boot Loader ver 7\n", ReadTextFile(psoc.out));
    Cli zq3 = RunCli({"probe", "zq3", "--port", sim.link}, sim.dir, "zq3");
    EXPECT_EQ(0, zq3.exit);
    EXPECT_EQ("ZQ F/W revision 31.03\nZQ IC: JADE\nZQ3 IC Test Passed\n", ReadTextFile(zq3.out));

    // With --json, what was found as fields of their own; these objects and
    // that of ports have exactly the fields that docs/json.md gives them.
    Cli t62Json = RunCli({"probe", "t62", "--port", sim.link, "--json"}, sim.dir, "t62json");
    Cli zq3Json = RunCli({"probe", "zq3", "--port", sim.link, "--json"}, sim.dir, "zq3json");
    Cli ports = RunCli({"ports", "--json"}, sim.dir, "ports", sim.dir);
    EXPECT_TRUE(Has(ReadTextFile(t62Json.out), "\"found\":{\"loader_version\":\"2.5\",\"hw_revision\":\"A\","))
        << ReadTextFile(t62Json.out);
    EXPECT_TRUE(Has(ReadTextFile(zq3Json.out), "\"firmware_version\":\"31.03\",\"ic_type\":3,\"variant\":\"JADE\","))
        << ReadTextFile(zq3Json.out);
    EXPECT_TRUE(Has(ReadTextFile(ports.out), "{\"name\":\"COM4\",")) << ReadTextFile(ports.out);
    int status = 0;
    std::string checked = JsonAgainstDoc({t62Json.out, zq3Json.out, ports.out}, &status);
    EXPECT_EQ(0, status) << checked;
    EXPECT_EQ("3\n", checked);
}

TEST_F(CliTest, ProbeOfASilentDeviceOrAMissingPort) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62", "--fault", "silent:any:1"}));
    Cli silent = RunCli({"probe", "t62", "--port", sim.link}, sim.dir, "silent");
    EXPECT_EQ(5, silent.exit);
    EXPECT_TRUE(Has(ReadTextFile(silent.err), "T62 is not responding: -2\nridorez: " + sim.link +
                                                   ": no T62 firmware loader answered at 115200 baud (nothing came "
                                                   "for 1.5 s)\nridorez: Check that the T62 is in its firmware loader"))
        << ReadTextFile(silent.err);
    Cli missing = RunCli({"probe", "t62", "--port", sim.dir + "/nothing"}, sim.dir, "missing");
    EXPECT_EQ(4, missing.exit);
    EXPECT_EQ("Comm port open error\nridorez: " + sim.dir + "/nothing: no such port (`ridorez ports` lists those present)\n",
              ReadTextFile(missing.err));
}

TEST_F(CliTest, UpdateThroughAPipe) {
    std::string file = RandomImageFile(0x1800 + 5000, 5);
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62", "--paced", "--t62-fill", "0x3c"}));
    std::string log = sim.dir + "/line.log";
    Cli cli = RunCli({"update", "t62", file, "--port", sim.link, "--log", log}, sim.dir, "update");
    EXPECT_EQ(0, cli.exit) << ReadTextFile(cli.err);
    std::string out = ReadTextFile(cli.out);
    // The dialogs' lines (and once, that the image's bytes in the loader's
    // rows are not written), a progress line at each tenth that a 100 ms look
    // finds passed (in 2.5 s on the paced line, most of them), the final
    // message.
    std::regex expected(
        "T62 Image Loaded, 11144 Bytes\n"
        "Note: the file's data from 00200 in the loader's own rows \\(00200-00bff\\) are not written\n"
        "F/W Loader v2.5 Connected\nT62 H/W Revision A\nProgramming T62 PIC....\n"
        "( [1-9][0-9]%  [0-9]+/48 rows  .* elapsed\n){5,9}100%  48/48 rows  .* elapsed\n"
        "Programing Completed Successfully\n");
    EXPECT_TRUE(std::regex_match(out, expected)) << out;
    EXPECT_EQ("", ReadTextFile(cli.err));
    StopSim(&sim);
    EXPECT_TRUE(SameWords(ReadBinaryFile(sim.memory), Loaded(file), 0x1800, 0x1800 + 48 * 256));
    // The log holds the line both ways, as the simulator's transcript has it
    // (the device's bytes in the chunks they came in).
    std::string text = ReadTextFile(log);
    EXPECT_TRUE(Has(text, " note open " + sim.link + " 115200\n")) << text.substr(0, 400);
    // A pseudo-terminal has no low latency to give, and the update goes on.
    EXPECT_TRUE(Has(text, " note low latency asked (ASYNC_LOW_LATENCY): the driver has no serial settings ("))
        << text.substr(0, 400);
    EXPECT_TRUE(Has(text, " H>D 115200 55 55 00 01 ff 04\n"));
    EXPECT_TRUE(std::regex_search(text, std::regex("\n[0-9]+ D>H 115200 55( [0-9a-f]{2})*\n")));
    EXPECT_TRUE(Has(text, " note exit code 0: Programing Completed Successfully\n"));

    // Behind a USB adapter that holds each reply to its latency timer, which
    // no system setting tells on a pseudo-terminal: at 16 ms the probe's
    // replies come late, and the update says so before it starts; at 1 ms
    // it says nothing, as on the bare line above. Every run notes exactly
    // when its pairs met the rule (so many showing an adapter). A machine
    // busy elsewhere can move this program's reads off the adapter's ticks
    // and leave too few pairs showing; at 16 ms the update is run again,
    // a few times at most, until one notes it.
    const int kTries = 4;
    for (int latency : {16, 1}) {
        SimProcess* line = latency == 16 ? &other : &third;
        bool noted = false;
        std::string tried;
        for (int attempt = 0; attempt < kTries && !noted; ++attempt) {
            RemoveSimDir(line);
            ASSERT_TRUE(StartSim(line, {"--device", "t62", "--paced", "--adapter",
                                        "ftdi:latency=" + std::to_string(latency)}));
            std::string lineLog = line->dir + "/line.log";
            cli = RunCli({"update", "t62", file, "--port", line->link, "--log", lineLog}, line->dir, "adapter");
            EXPECT_EQ(0, cli.exit);
            std::string err = ReadTextFile(cli.err);
            std::smatch timed, showing;
            std::string logged = ReadTextFile(lineLog);
            std::regex_search(logged, timed, std::regex("note probe turn-around: [^\n]*"));
            std::string figures = timed.str();
            tried += figures + "\n";
            ASSERT_FALSE(figures.empty()) << logged.substr(0, 400);
            // A machine too busy to tell (its sleeps of 1 ms overrun) says nothing.
            bool busy = Has(figures, "too busy to tell");
            bool met = !busy && std::regex_search(figures, showing, std::regex(", ([0-9]+) showing an adapter")) &&
                       std::stoi(showing[1]) >= kShowingPairs;
            noted = !err.empty();
            if (met) {
                EXPECT_TRUE(Has(err, "ridorez: the probe's replies on " + line->link + " came ")) << err << figures;
                EXPECT_TRUE(std::regex_search(
                    err, std::regex(" ms later than their bytes take on the line, on the ticks of "
                                    "a timer .*\\(16 ms on an FTDI chip unless set lower\\)\\. .* this "
                                    "update takes about [0-9.]+ s on the line instead of "
                                    "[0-9.]+ s at 1 ms \\(about 1\\.[4-9] x\\)\\.")))
                    << err << figures;
            } else {
                EXPECT_EQ("", err) << figures;
            }
            StopSim(line);
            EXPECT_TRUE(SameWords(ReadBinaryFile(line->memory), Loaded(file), 0x1800, 0x1800 + 48 * 256));
            if (latency == 1 || busy || met) break;
        }
        if (latency == 16 && !Has(tried, "too busy to tell")) {
            EXPECT_TRUE(noted) << "no note in " << kTries << " updates behind a 16 ms timer:\n" << tried;
        }
        EXPECT_FALSE(latency == 1 && noted) << tried;
    }
}

TEST_F(CliTest, UpdateOfPsocAndZq3WithJson) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "psoc,keyer"}));
    std::string psoc = RandomImageFile(0x3600, 9);
    Cli cli = RunCli({"update", "psoc", psoc, "--port", sim.link, "--json"}, sim.dir, "psoc");
    EXPECT_EQ(0, cli.exit);
    std::string json = ReadTextFile(cli.out);
    std::regex object("\\{\"target\":\"psoc\",\"port\":\"[^\"]+\",\"file\":\"[^\"]+\",\"bytes\":13824,\"result\":129,"
                      "\"message\":\"PSoC Programing Completed Successfully, Press Encoder to restart.\","
                      "\"advice\":null,\"found\":\\{\"loader_version\":\"7\",[^}]*\\},\"seconds\":[0-9]+\\.[0-9]{3},\"exit\":0\\}\n");
    EXPECT_TRUE(std::regex_match(json, object)) << json;
    std::string zq3 = AmberImageFile();
    cli = RunCli({"update", "zq3", zq3, "--port", sim.link, "--quiet"}, sim.dir, "zq3");
    EXPECT_EQ(0, cli.exit) << ReadTextFile(cli.err);
    EXPECT_EQ("ZQ3 Programing Completed Successfully, Press Encoder to restart.\n", ReadTextFile(cli.out));
}

TEST_F(CliTest, UpdateRefusesAFileThatDoesNotLoadAndSaysWhere) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62"}));
    std::string file = WriteTempFile(DataLine(0, Counting(16)) + ":10001000ZZ\n" + kEndLine);
    Cli cli = RunCli({"update", "t62", file, "--port", sim.link}, sim.dir, "update");
    EXPECT_EQ(3, cli.exit);
    EXPECT_TRUE(Has(ReadTextFile(cli.err), "File Error\nridorez: " + file + ", line 2: not an Intel HEX record"))
        << ReadTextFile(cli.err);
    // The same file through a named pipe, which can be read only once: the
    // same line is named, and nothing waits for the pipe again.
    std::string fifo = sim.dir + "/image.fifo";
    ASSERT_EQ(0, mkfifo(fifo.c_str(), 0600));
    pid_t writer = fork();
    if (writer == 0) {
        std::string text = ReadTextFile(file);
        int fd = open(fifo.c_str(), O_WRONLY);
        _exit(fd >= 0 && write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1);
    }
    Cli piped = StartCli({"update", "t62", fifo, "--port", sim.link}, sim.dir, "piped");
    EXPECT_TRUE(WaitCli(&piped, 20000)) << "ridorez waited for the pipe again";
    waitpid(writer, nullptr, 0);
    EXPECT_EQ(3, piped.exit);
    EXPECT_TRUE(Has(ReadTextFile(piped.err), "ridorez: " + fifo + ", line 2: not an Intel HEX record"))
        << ReadTextFile(piped.err);
    // A T62 image given to the ZQ3, and a folder: neither is taken for an image.
    std::vector<uint8_t> vectors = Counting(16);
    vectors[6] = 0xf0, vectors[7] = 0x84;
    std::string t62 = WriteTempFile(DataLine(0, vectors) + DataLine(0x1800, Counting(16)) + kEndLine);
    Cli keyer = RunCli({"update", "zq3", t62, "--port", sim.link}, sim.dir, "keyer");
    EXPECT_EQ(3, keyer.exit);
    EXPECT_EQ("File Error\nridorez: " + t62 + ": not a ZQ3 keyer image: the word where a keyer image keeps its "
              "firmware version (the HEX file's bytes 6 and 7) holds f0 84, which is no version; an Intel HEX file "
              "for the T62 or the PSoC?\n",
              ReadTextFile(keyer.err));
    Cli folder = RunCli({"update", "psoc", sim.dir, "--port", sim.link}, sim.dir, "folder");
    EXPECT_EQ(3, folder.exit);
    EXPECT_TRUE(Has(ReadTextFile(folder.err), sim.dir + ": a folder, not an image file")) << ReadTextFile(folder.err);
    // Nothing went to the device.
    EXPECT_FALSE(Has(ReadTextFile(sim.transcript), "H>D"));
}

TEST_F(CliTest, UpdateThatTheDeviceFails) {
    // 0x88, the reply that is also the success code, to the third record.
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62,keyer", "--fault", "diff:read:2", "--fault", "reply:record:3:0x88"}));
    std::string failing = RandomImageFile(3000, 3);
    Cli cli = RunCli({"update", "t62", failing, "--port", sim.link}, sim.dir, "update");
    EXPECT_EQ(6, cli.exit);
    // The vector rows went in all the same: the T62 must not be restarted yet.
    EXPECT_EQ("Error: Flash Verify !\nridorez: The image on the T62 is incomplete: its vector rows were installed all "
              "the same, so a restart would start a program that is partly missing. Run the update again, while the "
              "firmware loader still answers, before the T62 is restarted.\nridorez: The command again: `ridorez "
              "update t62 " + failing + " --port " + sim.link + "`\n",
              ReadTextFile(cli.err));
    // The ZQ3 run cut short leaves the IC's loader at 9600 baud, where the
    // probe of the next command finds it.
    std::string zq3 = AmberImageFile();
    cli = RunCli({"update", "zq3", zq3, "--port", sim.link, "--quiet"}, sim.dir, "zq3");
    EXPECT_EQ(6, cli.exit);
    EXPECT_TRUE(Has(ReadTextFile(cli.err), "Error: ZQ3 Refused a Record !\nridorez: The ZQ3 IC may be left in its loader"))
        << ReadTextFile(cli.err);
    cli = RunCli({"probe", "zq3", "--port", sim.link}, sim.dir, "probe");
    EXPECT_EQ(0, cli.exit) << ReadTextFile(cli.err);
    EXPECT_EQ("ZQ3 Fail:No O/S\nThe IC answers without its operating firmware: the update runs in recovery mode.\n",
              ReadTextFile(cli.out));

    // A read-back answered twice with the reply for the row before it, which
    // holds the same bytes: that row is not verified, however alike they are.
    std::string rows;
    for (int at = 0; at < 2048; at += 16)
        rows += DataLine(static_cast<uint16_t>(0x1800 + at), Counting(16, static_cast<uint8_t>(at % 256)));
    ASSERT_TRUE(StartSim(&other, {"--device", "t62", "--fault", "stale:read:3-4"}));
    cli = RunCli({"update", "t62", WriteTempFile(rows + kEndLine), "--port", other.link}, other.dir, "stale");
    EXPECT_EQ(6, cli.exit);
    EXPECT_EQ(0u, ReadTextFile(cli.err).find("Error: Flash Verify !\n")) << ReadTextFile(cli.err);

    // The vector row at 0 acknowledged but not written (the 18th write: the
    // fallback row, 16 application rows, then it): a failed verify, and the
    // fallback row back at 0, so that the update again finds the loader.
    std::string image = RandomImageFile(3000, 3);
    ASSERT_TRUE(StartSim(&third, {"--device", "t62", "--fault", "noop:write:18"}));
    cli = RunCli({"update", "t62", image, "--port", third.link}, third.dir, "vectors");
    EXPECT_EQ(6, cli.exit);
    EXPECT_EQ(0u, ReadTextFile(cli.err).find("Error: Flash Verify !\n")) << ReadTextFile(cli.err);
    cli = RunCli({"update", "t62", image, "--port", third.link}, third.dir, "again");
    EXPECT_EQ(0, cli.exit) << ReadTextFile(cli.err);
    StopSim(&third);
    EXPECT_TRUE(SameWords(ReadBinaryFile(third.memory), Loaded(image), 0, 0x400));
}

// A loader that answers one record (block) twice, and a later one not at
// all: the extra copy is no answer to the one after it. The run fails
// there, and the update again (for the ZQ3 in recovery mode) brings the
// whole image in; the second fault costs one more run. Paced, the line
// hands over each byte as it comes, and the copy arrives a character after
// the reply, once the reply has been read. Each case is a test of its own,
// as each takes seconds of line time and the runner runs them side by side.
//
// Paced, a simulator the machine held back may send the copy late, which no
// host can tell from an answer to its next request and no device does: such
// a run proves nothing, and is run again with a fresh simulator.
bool CopyWentOutLate(const SimProcess& sim) { return Has(ReadTextFile(sim.transcript), "reply's copy went out"); }
const int kPacedRuns = 3;

// Updates target from image against a fresh simulator with the faults in
// args; paced, again with a fresh one while its copy went out late.
// False, with the failure said, when the simulator did not start or no run
// could be judged.
bool RunReplySentTwice(SimProcess* sim, std::vector<std::string> args, bool paced, const char* target,
                       const std::string& image, Cli* cli) {
    if (paced) args.push_back("--paced");
    for (int run = 0; run < kPacedRuns; ++run) {
        *sim = SimProcess();
        if (!StartSim(sim, args)) {
            ADD_FAILURE() << "the simulator did not start";
            return false;
        }
        *cli = RunCli({"update", target, image, "--port", sim->link, "--quiet"}, sim->dir, "doubled");
        if (!paced || !CopyWentOutLate(*sim)) return true;
        StopSim(sim);
        RemoveSimDir(sim);
    }
    ADD_FAILURE() << "the simulator sent the copy late in each of " << kPacedRuns << " runs";
    return false;
}

void ZQ3ReplySentTwice(const char* doubled, const char* ignored, bool paced) {
    SCOPED_TRACE(std::string(doubled) + (paced ? " paced" : ""));
    std::string zq3 = AmberImageFile();
    SimProcess keyer;
    Cli cli;
    if (!RunReplySentTwice(&keyer, {"--device", "keyer", "--fault", doubled, "--fault", ignored}, paced, "zq3", zq3,
                           &cli))
        return;
    EXPECT_EQ(6, cli.exit);
    EXPECT_TRUE(Has(ReadTextFile(cli.err), "Error: VIDUD Sync !\n")) << ReadTextFile(cli.err);
    kill(keyer.pid, SIGUSR2);
    EXPECT_TRUE(WaitForTranscript(keyer, "memory written", 5000));
    EXPECT_FALSE(HoldsAmberUpload(keyer.memory));
    // The update again at the line's own pace is the unpaced cases' work.
    int again = 0;
    for (int run = 0; run < 2 && cli.exit != 0 && !paced; ++run) {
        cli = RunCli({"update", "zq3", zq3, "--port", keyer.link, "--quiet"}, keyer.dir, "again");
        ++again;
    }
    StopSim(&keyer);
    if (!paced) {
        EXPECT_EQ(0, cli.exit) << ReadTextFile(cli.err);
        EXPECT_TRUE(HoldsAmberUpload(keyer.memory)) << "after " << again << " more runs";
    }
    RemoveSimDir(&keyer);
}

// A PSoC image of 64 blocks, the rest erased: from block 100 on each
// block's echo is the one before it too.
void PsocReplySentTwice(bool paced) {
    SCOPED_TRACE(paced ? "psoc paced" : "psoc");
    std::string psoc = RandomImageFile(0x1000, 11);
    std::vector<uint8_t> image = Loaded(psoc);
    image.resize(0x3600);
    SimProcess loader;
    Cli cli;
    if (!RunReplySentTwice(&loader, {"--device", "psoc", "--fault", "double:block:100", "--fault", "ignore:block:150"},
                           paced, "psoc", psoc, &cli))
        return;
    EXPECT_EQ(6, cli.exit);
    EXPECT_EQ(0u, ReadTextFile(cli.err).find("Error: Flash Verify !\n")) << ReadTextFile(cli.err);
    for (int run = 0; run < 2 && cli.exit != 0 && !paced; ++run)
        cli = RunCli({"update", "psoc", psoc, "--port", loader.link, "--quiet"}, loader.dir, "psoc-again");
    StopSim(&loader);
    if (paced) {
        EXPECT_FALSE(ReadBinaryFile(loader.memory) == image);
    } else {
        EXPECT_EQ(0, cli.exit) << ReadTextFile(cli.err);
        EXPECT_TRUE(ReadBinaryFile(loader.memory) == image);
    }
    RemoveSimDir(&loader);
}

TEST_F(CliTest, ReplySentTwiceIsNoAnswerToTheNextRecord) {
    ZQ3ReplySentTwice("double:record:478", "ignore:record:956", false);
}
TEST_F(CliTest, ReplySentTwiceIsNoAnswerToTheNextRecordFromTheFirst) {
    ZQ3ReplySentTwice("double:record:1", "ignore:record:478", false);
}
TEST_F(CliTest, ReplySentTwiceIsNoAnswerToTheNextRecordPaced) {
    ZQ3ReplySentTwice("double:record:478", "ignore:record:956", true);
}
TEST_F(CliTest, ReplySentTwiceIsNoAnswerToTheNextBlock) { PsocReplySentTwice(false); }
TEST_F(CliTest, ReplySentTwiceIsNoAnswerToTheNextBlockPaced) { PsocReplySentTwice(true); }

// A bench with two adapters: two updates at once, each on its own port; a
// third program on a port in use is told that it is busy.
TEST_F(CliTest, TwoUpdatesAtOnceOnTwoPorts) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62", "--paced"}));
    ASSERT_TRUE(StartSim(&other, {"--device", "t62", "--paced"}));
    std::string a = RandomImageFile(6000, 1), b = RandomImageFile(6000, 2);
    Cli first = StartCli({"update", "t62", a, "--port", sim.link}, sim.dir, "a");
    Cli second = StartCli({"update", "t62", b, "--port", other.link}, other.dir, "b");
    ASSERT_TRUE(WaitForText(first.out, "Programming T62 PIC", 10000));
    Cli third = RunCli({"probe", "t62", "--port", sim.link}, sim.dir, "c");
    EXPECT_EQ(4, third.exit);
    EXPECT_TRUE(Has(ReadTextFile(third.err), ": busy: another program has it open")) << ReadTextFile(third.err);
    ASSERT_TRUE(WaitCli(&first, 60000));
    ASSERT_TRUE(WaitCli(&second, 60000));
    EXPECT_EQ(0, first.exit) << ReadTextFile(first.err);
    EXPECT_EQ(0, second.exit) << ReadTextFile(second.err);
    StopSim(&sim);
    StopSim(&other);
    EXPECT_TRUE(SameWords(ReadBinaryFile(sim.memory), Loaded(a), 0x1800, 0x1800 + 24 * 256));
    EXPECT_TRUE(SameWords(ReadBinaryFile(other.memory), Loaded(b), 0x1800, 0x1800 + 24 * 256));
}

// A bench of three boards in one command, the second failing in the middle
// of its run: the other two are programmed, and the JSON lines (read by an
// independent parser) end with each board's result and the summary. Two of
// the ports come from a ports file as a Windows editor saves it: a UTF-8
// byte-order mark, CRLF line ends, a long comment.
TEST_F(CliTest, BenchOfThreeBoardsWithOneFailing) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62"}));
    ASSERT_TRUE(StartSim(&other, {"--device", "t62", "--fault", "diff:read:5"}));
    ASSERT_TRUE(StartSim(&third, {"--device", "t62"}));
    std::string file = RandomImageFile(0x1800 + 5000, 21);
    std::string logs = sim.dir + "/logs";
    std::string bench = WriteTempFile("\xEF\xBB\xBF" + other.link + "\r\n# " + std::string(3000, '-') + "\r\n" +
                                          third.link + "   # the new adapter\r\n",
                                      ".txt");
    Cli cli = RunCli({"update", "t62", file, "--port", sim.link, "--ports", bench, "--json", "--log", logs}, sim.dir,
                     "bench");
    EXPECT_EQ(6, cli.exit) << ReadTextFile(cli.err);
    // Each port's last percent and its result, in the order given, then
    // the summary, which comes last.
    std::string parse = WriteTempFile(
        "import json, sys\n"
        "objects = [json.loads(line) for line in open(sys.argv[1])]\n"
        "for port in sys.argv[2:]:\n"
        "    mine = [o for o in objects if o.get('port') == port]\n"
        "    last = [o['percent'] for o in mine if 'percent' in o][-1]\n"
        "    r = [o for o in mine if o.get('phase') == 'result'][0]\n"
        "    print(last == 100, r['exit'], r['message'])\n"
        "s = objects[-1]\n"
        "print(s['summary'], s['done'], s['failed'], s['failed_ports'] == [sys.argv[3]], s['exit'])\n",
        ".py");
    FILE* p = popen(("python3 " + parse + " " + cli.out + " " + sim.link + " " + other.link + " " + third.link +
                     " 2>&1").c_str(),
                    "r");
    ASSERT_NE(nullptr, p);
    std::string parsed;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p) != nullptr) parsed += buffer;
    EXPECT_EQ(0, pclose(p)) << parsed;
    EXPECT_EQ("True 0 Programing Completed Successfully\n"
              "False 6 Error: Flash Verify !\n"
              "True 0 Programing Completed Successfully\n"
              "True 2 1 True 6\n",
              parsed)
        << ReadTextFile(cli.out);
    int status = 0;
    std::string checked = JsonAgainstDoc({cli.out}, &status);
    EXPECT_EQ(0, status) << checked;
    // The summary table, on standard error beside the JSON, within 100
    // columns: the failed board's message below its line.
    std::string err = ReadTextFile(cli.err);
    EXPECT_TRUE(std::regex_search(err, std::regex(other.link + " +failed \\(exit 6\\) +[0-9]+\\.[0-9]  loader 2.5, "
                                                               "H/W A\n  Error: Flash Verify !\n")))
        << err;
    std::istringstream lines(err);
    for (std::string line; std::getline(lines, line);)
        if (line.find("ridorez update t62") == std::string::npos) {
            EXPECT_LE(line.size(), 100u) << line;
        }
    StopSim(&sim);
    StopSim(&third);
    EXPECT_TRUE(SameWords(ReadBinaryFile(sim.memory), Loaded(file), 0x1800, 0x1800 + 48 * 256));
    EXPECT_TRUE(SameWords(ReadBinaryFile(third.memory), Loaded(file), 0x1800, 0x1800 + 48 * 256));
    // A line log for each port in a folder of the run's own, the failing
    // one's ending with its code; no name that Windows takes for a device
    // (COM4.log is the port COM4).
    auto folders = [&logs] {
        std::vector<std::string> found;
        for (const auto& entry : std::filesystem::directory_iterator(logs)) found.push_back(entry.path().string());
        std::sort(found.begin(), found.end());
        return found;
    };
    ASSERT_EQ(1u, folders().size());
    std::string first = folders()[0];
    std::vector<std::pair<std::string, std::string>> logged;
    int failing = 0;
    for (const auto& entry : std::filesystem::directory_iterator(first)) {
        logged.push_back({entry.path().string(), ReadTextFile(entry.path().string())});
        EXPECT_EQ(0u, entry.path().filename().string().find("port-tmp_devsim-test.")) << entry.path();
        failing += Has(logged.back().second, " note exit code 6: Error: Flash Verify !\n");
    }
    EXPECT_EQ(3u, logged.size());
    EXPECT_EQ(1, failing);
    // A second run into the same folder: its logs in a folder of their own,
    // those of the first run as they were.
    Cli again = RunCli({"probe", "t62", "--port", other.link, "--retry-failed", "--log", logs}, sim.dir, "again");
    EXPECT_EQ(0, again.exit) << ReadTextFile(again.err);
    ASSERT_EQ(2u, folders().size());
    std::string second = folders()[0] == first ? folders()[1] : folders()[0];
    EXPECT_TRUE(Has(ReadTextFile(again.out), "The logs of this run: " + second + "\n")) << ReadTextFile(again.out);
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(second))
        files += Has(ReadTextFile(entry.path().string()), " note exit code 0: F/W Loader v2.5 Connected");
    EXPECT_EQ(1, files);
    for (const auto& log : logged) EXPECT_EQ(log.second, ReadTextFile(log.first)) << log.first;
}

// A station on two ports, each a link of the test's own that comes and goes
// as a board's adapter does. Port a: a board there from the start, then,
// once it has gone, another one (paced) in whose update Ctrl-C comes: it
// runs to its end and the station stops. Port b: a board connected late,
// which fails. The records file ends with a torn line (the power went):
// the station warns and goes on after it. Read back by an independent
// parser: one record a board, none twice (the first board stays connected
// for a while after its update).
TEST_F(CliTest, StationUpdatesBoardsAsTheyComeWithRecords) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62"}));
    std::string file = RandomImageFile(0x1800 + 12000, 23);
    std::string portA = sim.dir + "/a", portB = sim.dir + "/b", records = sim.dir + "/records.jsonl";
    ASSERT_EQ(0, symlink(sim.link.c_str(), portA.c_str()));
    FILE* torn = std::fopen(records.c_str(), "wb");
    ASSERT_NE(nullptr, torn);
    std::fputs("{\"time\":\"2024-05-01T09:12:33Z\",\"stat", torn);
    std::fclose(torn);
    auto lines = [&] {
        std::string text = ReadTextFile(records);
        return std::count(text.begin(), text.end(), '\n');
    };
    auto waitLines = [&](long n) {
        for (int64_t end = NowMs() + 30000; NowMs() < end; usleep(20000))
            if (lines() >= n) return true;
        return false;
    };
    Cli cli = StartCli({"station", "t62", file, "--port", portA, "--port", portB, "--records", records, "--station",
                        "line-3"},
                       sim.dir, "station");
    ASSERT_TRUE(waitLines(2)) << ReadTextFile(cli.err);  // the torn line's end, the first board's record
    ASSERT_TRUE(StartSim(&other, {"--device", "t62", "--fault", "diff:read:5"}));
    ASSERT_EQ(0, symlink(other.link.c_str(), portB.c_str()));
    ASSERT_TRUE(waitLines(3)) << ReadTextFile(cli.out);
    usleep(1500000);
    StopSim(&sim);
    ASSERT_TRUE(WaitForText(cli.out, portA + ": waiting (no port yet)", 10000)) << ReadTextFile(cli.out);
    ASSERT_TRUE(StartSim(&third, {"--device", "t62", "--paced"}));
    unlink(portA.c_str());
    ASSERT_EQ(0, symlink(third.link.c_str(), portA.c_str()));
    ASSERT_TRUE(WaitForText(cli.out, portA + ": updating 1", 30000)) << ReadTextFile(cli.out);
    kill(cli.pid, SIGINT);
    ASSERT_TRUE(WaitCli(&cli, 30000));
    EXPECT_EQ(6, cli.exit) << ReadTextFile(cli.err);
    std::string err = ReadTextFile(cli.err);
    EXPECT_TRUE(Has(err, records + ": its last line is torn (36 bytes without a line end")) << err;
    EXPECT_TRUE(Has(err, "Ctrl-C: no new board starts; the board being updated runs to its end first (Ctrl-C again abandons it)")) << err;
    EXPECT_TRUE(std::regex_search(ReadTextFile(cli.out),
                                  std::regex("2 boards done, 1 failed; [0-9.]+ s a board on average")))
        << ReadTextFile(cli.out);
    std::string parse = WriteTempFile(
        "import hashlib, json, sys\n"
        "for line in open(sys.argv[1]).read().split('\\n')[1:-1]:\n"
        "    r = json.loads(line)\n"
        "    assert r['image']['sha256'] == hashlib.sha256(open(r['image']['file'], 'rb').read()).hexdigest(), r\n"
        "    v = r.get('verify') or {}\n"
        "    print(r['station'], r['port'][-1], r['target'], r['probe'][0], r['image']['loaded'], r['result']['exit'],\n"
        "          r['result']['message'], v.get('exit'), r['time'].endswith('Z') and r['seconds'] > 0)\n",
        ".py");
    FILE* p = popen(("python3 " + parse + " " + records + " 2>&1").c_str(), "r");
    ASSERT_NE(nullptr, p);
    std::string parsed;
    char buffer[512];
    while (std::fgets(buffer, sizeof buffer, p) != nullptr) parsed += buffer;
    EXPECT_EQ(0, pclose(p)) << parsed;
    const std::string loaded = "F/W Loader v2.5 Connected T62 Image Loaded, 18144 Bytes ";
    EXPECT_EQ("line-3 a t62 " + loaded + "0 Programing Completed Successfully 0 True\n"
              "line-3 b t62 " + loaded + "6 Error: Flash Verify ! None True\n"
              // Stopped during its update: no read-back after it.
              "line-3 a t62 " + loaded + "0 Programing Completed Successfully None True\n",
              parsed)
        << ReadTextFile(records);
    StopSim(&third);
    EXPECT_TRUE(SameWords(ReadBinaryFile(sim.memory), Loaded(file), 0x1800, 0x1800 + 48 * 256));
    EXPECT_TRUE(SameWords(ReadBinaryFile(third.memory), Loaded(file), 0x1800, 0x1800 + 48 * 256));
}

// The first Ctrl-C does not stop the update; the second abandons it at once.
TEST_F(CliTest, CtrlCTwiceAbandonsTheUpdate) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62", "--paced"}));
    Cli cli = StartCli({"update", "t62", RandomImageFile(64 * 1024, 4), "--port", sim.link}, sim.dir, "update");
    ASSERT_TRUE(WaitForText(cli.out, " 10%  ", 30000));
    kill(cli.pid, SIGINT);
    ASSERT_TRUE(WaitForText(cli.err, "Press Ctrl-C again to abandon it anyway.", 2000));
    size_t written = ReadTextFile(sim.transcript).size();
    usleep(500000);
    EXPECT_GT(ReadTextFile(sim.transcript).size(), written) << "the update stopped at the first Ctrl-C";
    int64_t sent = NowMs();
    kill(cli.pid, SIGINT);
    ASSERT_TRUE(WaitCli(&cli, 5000));
    EXPECT_LT(NowMs() - sent, 1000);
    EXPECT_EQ(130, cli.exit);
    std::string err = ReadTextFile(cli.err);
    EXPECT_TRUE(Has(err, "cannot be stopped safely")) << err;
    EXPECT_TRUE(Has(err, "update abandoned. The T62 is not fully programmed")) << err;
}

// SIGTERM during an update is held: the update runs to its end and the exit
// code says both (100: done, and asked to stop). So in a bench, where every
// board runs to its end, one of them failing late (106). Outside an update
// SIGHUP ends the program at once.
TEST_F(CliTest, TermDuringAnUpdateOrABenchIsHeldHangUpOutsideEndsAtOnce) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62", "--paced"}));
    std::string file = RandomImageFile(0x1800 + 12000, 16);
    Cli cli = StartCli({"update", "t62", file, "--port", sim.link, "--json"}, sim.dir, "term");
    ASSERT_TRUE(WaitForText(cli.err, "Programming T62 PIC", 10000));
    usleep(300000);
    kill(cli.pid, SIGTERM);
    ASSERT_TRUE(WaitCli(&cli, 60000));
    EXPECT_EQ(100, cli.exit) << ReadTextFile(cli.err);
    EXPECT_TRUE(Has(ReadTextFile(cli.err), "SIGTERM: the T62 update runs to its end first")) << ReadTextFile(cli.err);
    EXPECT_TRUE(Has(ReadTextFile(cli.out), "\"result\":129,")) << ReadTextFile(cli.out);
    EXPECT_TRUE(Has(ReadTextFile(cli.out), "\"stopped_by\":\"SIGTERM\"")) << ReadTextFile(cli.out);
    StopSim(&sim);
    EXPECT_TRUE(SameWords(ReadBinaryFile(sim.memory), Loaded(file), 0x1800, 0x1800 + 47 * 256));

    RemoveSimDir(&sim);
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62", "--paced"}));
    ASSERT_TRUE(StartSim(&third, {"--device", "t62", "--paced", "--fault", "diff:read:40"}));
    Cli bench = StartCli({"update", "t62", file, "--port", sim.link, "--port", third.link}, sim.dir, "bench");
    ASSERT_TRUE(WaitForText(bench.out, third.link + ":  1", 20000)) << ReadTextFile(bench.out);
    kill(bench.pid, SIGTERM);
    ASSERT_TRUE(WaitCli(&bench, 60000));
    EXPECT_EQ(106, bench.exit) << ReadTextFile(bench.err);
    std::string said = ReadTextFile(bench.err), table = ReadTextFile(bench.out);
    EXPECT_TRUE(Has(said, "SIGTERM: the updates run to their end first")) << said;
    EXPECT_TRUE(Has(said, "stopped by SIGTERM after the updates ended: exit code 106")) << said;
    EXPECT_TRUE(std::regex_search(table, std::regex("failed \\(exit 6\\) +[0-9]+\\.[0-9]  loader 2.5, H/W A\n"
                                                    "  Error: Flash Verify !\n")))
        << table;
    EXPECT_TRUE(Has(table, "1 of 2 boards done in ")) << table;
    StopSim(&sim);
    EXPECT_TRUE(SameWords(ReadBinaryFile(sim.memory), Loaded(file), 0x1800, 0x1800 + 47 * 256));

    ASSERT_TRUE(StartSim(&other, {"--device", "t62", "--fault", "silent:any:1"}));
    Cli probe = StartCli({"probe", "t62", "--port", other.link}, other.dir, "hup");
    ASSERT_TRUE(WaitForTranscript(other, "H>D", 5000));
    int64_t sent = NowMs();
    kill(probe.pid, SIGHUP);
    ASSERT_TRUE(WaitCli(&probe, 5000));
    EXPECT_LT(NowMs() - sent, 1000);
    EXPECT_EQ(130, probe.exit);
}

// The device goes away in the middle of a run: the run ends with the port's
// error, at once.
TEST_F(CliTest, PortGoneInTheMiddleOfAnUpdate) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62", "--paced"}));
    Cli cli = StartCli({"update", "t62", RandomImageFile(64 * 1024, 6), "--port", sim.link}, sim.dir, "update");
    ASSERT_TRUE(WaitForText(cli.out, " 10%  ", 30000));
    StopSim(&sim);
    int64_t gone = NowMs();
    ASSERT_TRUE(WaitCli(&cli, 10000));
    EXPECT_LT(NowMs() - gone, 3000);
    EXPECT_EQ(4, cli.exit);
    EXPECT_TRUE(Has(ReadTextFile(cli.err), ": the port stopped working (unplugged?)")) << ReadTextFile(cli.err);
}

TEST_F(CliTest, VerifyAfterAnUpdateAndAgainstAnotherDevice) {
    std::string file = RandomImageFile(0x1800 + 3000, 8);
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62"}));
    ASSERT_EQ(0, RunCli({"update", "t62", file, "--port", sim.link}, sim.dir, "update").exit);
    Cli same = RunCli({"verify", "t62", file, "--port", sim.link}, sim.dir, "same");
    EXPECT_EQ(0, same.exit) << ReadTextFile(same.err);
    EXPECT_TRUE(Has(ReadTextFile(same.out), "Verify OK: the 44 rows are as in the image\n")) << ReadTextFile(same.out);

    // A T62 that holds something else: every row differs, from the first
    // application row.
    ASSERT_TRUE(StartSim(&other, {"--device", "t62", "--t62-fill", "0x3c"}));
    Cli differs = RunCli({"verify", "t62", file, "--port", other.link, "--json"}, other.dir, "differs");
    EXPECT_EQ(7, differs.exit);
    EXPECT_TRUE(Has(ReadTextFile(differs.err), "Verify: 44 of 44 rows differ; the first difference is at 00c00"))
        << ReadTextFile(differs.err);
    EXPECT_TRUE(Has(ReadTextFile(differs.out), "\"rows_differing\":44,\"first_difference\":3072,"));
    StopSim(&other);
    EXPECT_FALSE(Has(ReadTextFile(other.transcript), "note write")) << "verify wrote to the device";
}

// A backup programmed into another T62 makes it hold what the first holds.
TEST_F(CliTest, BackupProgramsBackAndNeedsAWritableFile) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62", "--t62-fill", "0x5a"}));
    ASSERT_EQ(0, RunCli({"update", "t62", RandomImageFile(0x1800 + 9000, 12), "--port", sim.link}, sim.dir, "u").exit);
    std::string backup = sim.dir + "/backup.hex";
    Cli cli = RunCli({"backup", "t62", backup, "--port", sim.link}, sim.dir, "backup");
    EXPECT_EQ(0, cli.exit) << ReadTextFile(cli.err);
    StopSim(&sim);
    std::vector<uint8_t> original = ReadBinaryFile(sim.memory);
    EXPECT_TRUE(SameWords(Loaded(backup), original, 0, kImageBufferSize));

    ASSERT_TRUE(StartSim(&other, {"--device", "t62", "--t62-fill", "0x11"}));
    cli = RunCli({"update", "t62", backup, "--port", other.link}, other.dir, "restore");
    EXPECT_EQ(0, cli.exit) << ReadTextFile(cli.err);
    EXPECT_TRUE(Has(ReadTextFile(cli.out), "T62 Image Loaded, 262144 Bytes\n"));
    Cli unwritable = RunCli({"backup", "t62", other.dir + "/no/such/folder.hex", "--port", other.link}, other.dir, "no");
    EXPECT_EQ(3, unwritable.exit);
    StopSim(&other);
    // The vector rows and the application rows; the loader's rows between
    // them are not programmed.
    std::vector<uint8_t> restored = ReadBinaryFile(other.memory);
    EXPECT_TRUE(SameWords(restored, original, 0, 0x400));
    EXPECT_TRUE(SameWords(restored, original, 0x1800, kImageBufferSize));
}

// --log naming the image, here by a second name of the same file, is
// refused before the log is opened: the image is left as it was.
// A release made of the three targets' images, its status against a
// product whose three chips answer on one port, and update all: each chip
// holds its image after it, the ZQ3 the image of its own variant.
TEST_F(CliTest, ReleaseMadeStatusAndUpdateAllOnOnePort) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62,psoc,keyer", "--keyer-variant", "jade", "--keyer-version", "31",
                                "--keyer-revision", "3"}));
    std::string t62 = RandomImageFile(3000, 5), psoc = RandomImageFile(0x3600, 6), jade = KeyerImageFile(104);
    std::string release = sim.dir + "/release";
    Cli cli = RunCli({"release", "make", release, "--name", "Keyer", "--version", "2.1", "t62:" + t62,
                      "psoc:" + psoc, "zq3:" + KeyerImageFile(152), "zq3:" + jade},
                     sim.dir, "make");
    ASSERT_EQ(0, cli.exit) << ReadTextFile(cli.err);
    cli = RunCli({"status", release, "--port", sim.link}, sim.dir, "status");
    EXPECT_EQ(0, cli.exit) << ReadTextFile(cli.err);
    std::string out = ReadTextFile(cli.out);
    EXPECT_TRUE(Has(out, "  zq3: out of date (release: " + std::filesystem::path(jade).filename().string()))
        << out;
    EXPECT_TRUE(Has(out, " 31.04; device: 31.03)\n  psoc: cannot tell")) << out;

    cli = RunCli({"update", "all", release + "/release.json", "--port", sim.link, "--json"}, sim.dir, "all");
    EXPECT_EQ(0, cli.exit) << ReadTextFile(cli.err);
    EXPECT_TRUE(Has(ReadTextFile(cli.out), "\"message\":\"updated: t62, zq3, psoc; press the encoder to restart"))
        << ReadTextFile(cli.out);
    StopSim(&sim);
    EXPECT_TRUE(SameWords(ReadBinaryFile(sim.memory + ".t62"), Loaded(t62), 0x1800, 0x1800 + 8 * 256));
    std::vector<uint8_t> flat(kImageBufferSize);
    AppState.hexImage = flat.data();
    LoadHexImage(psoc.c_str(), PSoCImage);
    AppState.hexImage = nullptr;
    flat.resize(0x3600);
    EXPECT_EQ(flat, ReadBinaryFile(sim.memory + ".psoc"));
    // The JADE image's slot 0: version 31, code 104 (0x68).
    EXPECT_TRUE(Has(ReadTextFile(sim.memory + ".keyer"), "\n1b 0000 0001020304051f68")) << sim.memory;
}

// What a release must not get past: a changed byte in an image, for one
// target or for all, and a ZQ3 of a variant the release has no image for.
// Nothing but the probe goes to the device.
TEST_F(CliTest, ReleaseRefusalsSendNothing) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62,keyer", "--keyer-variant", "amber"}));
    std::string release = sim.dir + "/release", t62 = RandomImageFile(3000, 5);
    Cli cli = RunCli({"release", "make", release, "--name", "Keyer", "--version", "2.1", "t62:" + t62,
                      "zq3:" + KeyerImageFile(104)},
                     sim.dir, "make");
    ASSERT_EQ(0, cli.exit) << ReadTextFile(cli.err);
    cli = RunCli({"release", "make", release, "--name", "Keyer", "--version", "2.2", "t62:" + t62}, sim.dir, "again");
    EXPECT_EQ(3, cli.exit);
    EXPECT_TRUE(Has(ReadTextFile(cli.err), "holds a release already: give --force")) << ReadTextFile(cli.err);

    std::string name = std::filesystem::path(t62).filename().string();
    std::string text = ReadTextFile(release + "/" + name);
    text[20] = text[20] == '0' ? '1' : '0';
    FILE* file = std::fopen((release + "/" + name).c_str(), "wb");
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
    for (const char* target : {"t62", "all"}) {
        cli = RunCli({"update", target, release, "--port", sim.link}, sim.dir, target);
        EXPECT_EQ(3, cli.exit) << target;
        std::string err = ReadTextFile(cli.err);
        EXPECT_TRUE(Has(err, "t62 image " + name + ": the file is not the one the release names: its SHA-256 is "))
            << err;
        EXPECT_TRUE(Has(err, "; nothing was sent to the device")) << err;
    }
    EXPECT_FALSE(Has(ReadTextFile(sim.transcript), "H>D"));

    cli = RunCli({"update", "zq3", release, "--port", sim.link}, sim.dir, "variant");
    EXPECT_EQ(3, cli.exit);
    EXPECT_TRUE(Has(ReadTextFile(cli.err), "has no zq3 image for this device: the release has JADE; the device is AMBER"))
        << ReadTextFile(cli.err);
    EXPECT_FALSE(Has(ReadTextFile(sim.transcript), "9600"));  // no record went out
}

TEST_F(CliTest, LogThatIsTheImageIsRefused) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62"}));
    std::string image = RandomImageFile(3000, 14);
    std::string alias = sim.dir + "/alias.hex";
    ASSERT_EQ(0, link(image.c_str(), alias.c_str()));
    std::string before = ReadTextFile(image);
    Cli cli = RunCli({"update", "t62", image, "--port", sim.link, "--log", alias}, sim.dir, "clash");
    EXPECT_EQ(2, cli.exit);
    EXPECT_TRUE(Has(ReadTextFile(cli.err), "that is the image the command reads")) << ReadTextFile(cli.err);
    EXPECT_EQ(before, ReadTextFile(image));
    EXPECT_FALSE(Has(ReadTextFile(sim.transcript), "H>D"));
}

// A file name that is not UTF-8 and holds a line break: the JSON object
// still parses, and the line log keeps one event a line.
TEST_F(CliTest, OddFileNameInJsonAndLog) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62"}));
    std::string image = sim.dir + "/caf\xe9\nold.hex";
    ASSERT_EQ(0, rename(RandomImageFile(3000, 15).c_str(), image.c_str()));
    std::string log = sim.dir + "/line.log";
    Cli cli = RunCli({"update", "t62", image, "--port", sim.link, "--json", "--log", log}, sim.dir, "odd");
    EXPECT_EQ(0, cli.exit) << ReadTextFile(cli.err);
    std::string check = "python3 -c '"
                        "import json, re, sys\n"
                        "d = json.load(open(sys.argv[1], encoding=\"utf-8\"))\n"
                        "assert d[\"file\"].endswith(\"/caf\\ufffd\\nold.hex\"), d[\"file\"]\n"
                        "for line in open(sys.argv[2], \"rb\").read().decode(\"latin-1\").splitlines():\n"
                        "    assert re.fullmatch(r\"[0-9]+ (note .*|[HD]>[HD] [0-9]+( [0-9a-f]{2})+)\", line), line\n"
                        "' " + cli.out + " " + log;
    EXPECT_EQ(0, system(check.c_str())) << ReadTextFile(cli.out);
    EXPECT_TRUE(Has(ReadTextFile(log), "/caf\xe9\\x0aold.hex"));
}

TEST_F(CliTest, PortsListsThePortsThatAreThere) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62"}));
    // A COM link whose device has gone is no port.
    ASSERT_EQ(0, symlink((sim.dir + "/gone").c_str(), (sim.dir + "/com5").c_str()));
    Cli cli = RunCli({"ports"}, sim.dir, "ports", sim.dir);
    EXPECT_EQ(0, cli.exit);
    std::string out = ReadTextFile(cli.out);
    EXPECT_TRUE(std::regex_search(out, std::regex("\nCOM4 +" + sim.dir + "/com4 -> /dev/pts/[0-9]+\n"))) << out;
    EXPECT_FALSE(Has(out, "COM5"));
}

// COMn is com<n> of the user's own folder: under XDG_RUNTIME_DIR when that
// is the user's, else in the home folder; the simulator's --com links there.
// A folder or a link that another user could have set up is refused before
// anything is opened.
TEST_F(CliTest, ComPortsOnlyFromTheUsersOwnFolder) {
    char pattern[] = "/tmp/ridorez-com-test.XXXXXX";
    ASSERT_TRUE(mkdtemp(pattern));
    sim.dir = pattern;  // removed with the test
    std::string run = sim.dir + "/run", folder = run + "/ridorez-com", com4 = folder + "/com4";
    ASSERT_EQ(0, mkdir(run.c_str(), 0700));
    std::vector<std::string> env = {"XDG_RUNTIME_DIR=" + run, "HOME=" + sim.dir + "/home"};
    sim.pid = fork();
    if (sim.pid == 0) {
        for (const std::string& e : env) putenv(strdup(e.c_str()));
        unsetenv("RIDOREZ_COM_DIR");
        int log = open((sim.dir + "/devsim.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(log, 1);
        dup2(log, 2);
        execl(DEVSIM_PATH, DEVSIM_PATH, "--com", "4", "--device", "psoc", static_cast<char*>(nullptr));
        _exit(127);
    }
    struct stat st;
    for (int i = 0; i < 500 && lstat(com4.c_str(), &st) != 0; ++i) usleep(10000);
    ASSERT_EQ(0, lstat(com4.c_str(), &st)) << ReadTextFile(sim.dir + "/devsim.log");
    ASSERT_EQ(0, stat(folder.c_str(), &st));
    EXPECT_EQ(0700u, st.st_mode & 07777);
    Cli own = RunCli({"probe", "psoc", "--port", "COM4"}, sim.dir, "own", "", env);
    EXPECT_EQ(0, own.exit) << ReadTextFile(own.err);

    ASSERT_EQ(0, chmod(folder.c_str(), 0777));
    Cli shared = RunCli({"probe", "psoc", "--port", "COM4"}, sim.dir, "shared", "", env);
    EXPECT_EQ(4, shared.exit);
    EXPECT_EQ("Comm port open error\nridorez: COM4 (" + com4 + "): refused: the folder of COM ports " + folder +
                  " may be changed by other users (mode 0777): another user could put a device of theirs behind "
                  "that name\n",
              ReadTextFile(shared.err));
    ASSERT_EQ(0, chmod(folder.c_str(), 0700));
    // Only root can give a link to another user.
    if (geteuid() == 0) {
        ASSERT_EQ(0, lchown(com4.c_str(), 65534, 65534));
        Cli theirs = RunCli({"probe", "psoc", "--port", "COM4"}, sim.dir, "theirs", "", env);
        EXPECT_EQ(4, theirs.exit);
        EXPECT_TRUE(Has(ReadTextFile(theirs.err), "refused: " + com4 + " belongs to another user")) << ReadTextFile(theirs.err);
    }
    // A runtime folder that is not the user's own is passed over for home.
    ASSERT_EQ(0, chmod(run.c_str(), 0777));
    Cli home = RunCli({"probe", "psoc", "--port", "COM4"}, sim.dir, "home", "", env);
    EXPECT_EQ(4, home.exit);
    EXPECT_TRUE(Has(ReadTextFile(home.err), "COM4 (" + sim.dir + "/home/.ridorez-com/com4): no such port"))
        << ReadTextFile(home.err);
}

// A USB adapter as sysfs shows it, in a tree of the test's own that the
// listing takes for / (RIDOREZ_LIST_ROOT): its device, interface and tty
// folders, its /dev node (a link to device) and its /dev/serial/by-id name.
// Returns that name.
std::string FakeUsbAdapter(const std::string& root, int bus, const std::string& tty, const std::string& serial,
                           const std::string& device) {
    namespace fs = std::filesystem;
    std::string usb = root + "/sys/devices/pci0000:00/usb1/1-" + std::to_string(bus);
    std::string port = usb + "/1-" + std::to_string(bus) + ":1.0/" + tty;
    std::string driver = root + "/sys/bus/usb-serial/drivers/ftdi_sio";
    fs::create_directories(port);
    fs::create_directories(driver);
    fs::create_directories(root + "/sys/class/tty/" + tty);
    fs::create_directories(root + "/dev/serial/by-id");
    const std::pair<const char*, std::string> files[] = {
        {"idVendor", "0403"}, {"idProduct", "6001"}, {"serial", serial}, {"manufacturer", "FTDI"},
        {"product", "FT232R USB UART"}};
    for (const auto& f : files) {
        FILE* out = std::fopen((usb + "/" + f.first).c_str(), "w");
        std::fprintf(out, "%s\n", f.second.c_str());
        std::fclose(out);
    }
    fs::create_directory_symlink(driver, port + "/driver");
    fs::create_directory_symlink(port, root + "/sys/class/tty/" + tty + "/device");
    fs::create_symlink(device, root + "/dev/" + tty);
    std::string byId = root + "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_" + serial + "-if0" + std::to_string(bus) + "-port0";
    fs::create_symlink("../../" + tty, byId);
    return byId;
}

// ports shows a USB adapter's ids, serial number and by-id name; --port
// takes that name, and serial=XXXX when one adapter alone has that number.
// A bench that names the adapter twice, by those two names, is refused.
TEST_F(CliTest, UsbAdapterBySerialNumberOrById) {
    ASSERT_TRUE(StartSim(&sim, {"--device", "t62"}));
    std::string root = sim.dir + "/root";
    std::string byId = FakeUsbAdapter(root, 1, "ttyUSB0", "A5XK3RJF", sim.link);
    FakeUsbAdapter(root, 2, "ttyUSB1", "B7", "/dev/null");
    FakeUsbAdapter(root, 3, "ttyACM0", "B7", "/dev/zero");
    std::vector<std::string> env = {"RIDOREZ_LIST_ROOT=" + root};
    Cli ports = RunCli({"ports"}, sim.dir, "ports", sim.dir, env);
    EXPECT_EQ(0, ports.exit);
    std::string usb0 = root + "/dev/ttyUSB0";
    EXPECT_TRUE(Has(ReadTextFile(ports.out), usb0 + "  ftdi_sio, FTDI FT232R USB UART, USB 0403:6001, serial A5XK3RJF\n" +
                                                 std::string(usb0.size() + 2, ' ') + byId + "\n"))
        << ReadTextFile(ports.out);

    Cli bySerial = RunCli({"probe", "t62", "--port", "serial=A5XK3RJF"}, sim.dir, "serial", sim.dir, env);
    EXPECT_EQ(0, bySerial.exit) << ReadTextFile(bySerial.err);
    EXPECT_EQ("F/W Loader v2.5 Connected\nT62 H/W Revision A\n", ReadTextFile(bySerial.out));
    Cli named = RunCli({"probe", "t62", "--port", byId}, sim.dir, "by-id", sim.dir, env);
    EXPECT_EQ(0, named.exit) << ReadTextFile(named.err);
    Cli two = RunCli({"probe", "t62", "--port", "serial=B7"}, sim.dir, "two", sim.dir, env);
    EXPECT_EQ(4, two.exit);
    EXPECT_EQ("ridorez: serial=B7: 2 adapters have that serial number (" + root + "/dev/ttyUSB1, " + root +
                  "/dev/ttyACM0): name one by its device or its /dev/serial/by-id name\n",
              ReadTextFile(two.err));
    Cli none = RunCli({"probe", "t62", "--port", "serial=A5XK3RJ"}, sim.dir, "none", sim.dir, env);
    EXPECT_EQ(4, none.exit);
    EXPECT_TRUE(Has(ReadTextFile(none.err), "serial=A5XK3RJ: no adapter has that serial number")) << ReadTextFile(none.err);

    std::string bench = WriteTempFile("# left to right\n" + byId + "\nserial=A5XK3RJF\n", ".txt");
    Cli twice = RunCli({"probe", "t62", "--ports", bench}, sim.dir, "twice", sim.dir, env);
    EXPECT_EQ(2, twice.exit);
    EXPECT_EQ("ridorez: " + bench + " line 3: serial=A5XK3RJF is the same port as " + byId + " on line 2 (" +
                  std::filesystem::canonical(sim.link).string() + "): each board needs a port of its own\n",
              ReadTextFile(twice.err));
    EXPECT_EQ("", ReadTextFile(twice.out));
}

TEST_F(CliTest, UsageErrorsAndHelp) {
    std::string dir = ::testing::TempDir();
    Cli wrong = RunCli({"update", "t63", "x.hex", "--port", "COM4"}, dir, "wrong");
    EXPECT_EQ(2, wrong.exit);
    EXPECT_TRUE(Has(ReadTextFile(wrong.err), "t63")) << ReadTextFile(wrong.err);
    // A command mistyped: named, with the nearest and the list.
    Cli typo = RunCli({"upadte", "t62", "x.hex", "--port", "COM4"}, dir, "typo");
    EXPECT_EQ(2, typo.exit);
    EXPECT_EQ("ridorez: unknown command 'upadte'; did you mean 'update'?\nThe commands: ports, probe, update, verify, "
              "backup, release, status, station (`ridorez COMMAND --help` for each, `ridorez --help` for all).\n",
              ReadTextFile(typo.err));
    // A command's help says what applies to it, with an example.
    Cli verify = RunCli({"verify", "--help"}, dir, "verify");
    EXPECT_EQ(0, verify.exit);
    EXPECT_FALSE(Has(ReadTextFile(verify.out), "psoc")) << ReadTextFile(verify.out);
    EXPECT_TRUE(Has(ReadTextFile(verify.out), "Examples:\n  ridorez verify t62 firmware.hex --port /dev/ttyUSB0\n"))
        << ReadTextFile(verify.out);
    Cli help = RunCli({"--help"}, dir, "help");
    EXPECT_EQ(0, help.exit);
    // The exit codes as --help gives them, each with its text whole again
    // (its lines joined), stand the same in the README's table and the man
    // page.
    std::string text = ReadTextFile(help.out);
    size_t at = text.find("Exit codes:\n");
    ASSERT_NE(std::string::npos, at) << text;
    std::vector<std::pair<std::string, std::string>> codes;
    std::istringstream lines(text.substr(at + 12));
    for (std::string line; std::getline(lines, line) && line.compare(0, 2, "  ") == 0;) {
        std::string code = line.substr(2, 11), words = line.substr(13);
        code.erase(code.find_last_not_of(' ') + 1);
        if (code.empty()) codes.back().second += " " + words;
        else codes.push_back({code, words});
    }
    EXPECT_EQ(9u, codes.size());
    std::string readme = ReadTextFile(std::string(RIDOREZ_SOURCE_DIR) + "/README.md");
    std::string man = ReadTextFile(std::string(RIDOREZ_SOURCE_DIR) + "/package/ridorez.1");
    for (size_t i; (i = man.find("\\-")) != std::string::npos;) man.erase(i, 1);
    for (const auto& c : codes) {
        EXPECT_TRUE(Has(readme, "| " + c.first + " | " + c.second + " |\n")) << c.first << ": " << c.second;
        EXPECT_TRUE(Has(man, ".B " + c.first + "\n" + c.second + "\n")) << c.first << ": " << c.second;
    }
}

}  // namespace
