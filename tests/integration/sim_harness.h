// Starting and stopping the device simulator for a test, and a plain
// termios line to talk to it.
//
//   SimProcess sim;
//   ASSERT_TRUE(StartSim(&sim, {"--device", "t62"}));
//   // RIDOREZ_COM_DIR=sim.dir makes COM4 the simulator (sim.link)
//   ...
//   StopSim(&sim);              // SIGTERM, wait; the memory file is now written
//   ... read sim.memory, sim.transcript ...
//   RemoveSimDir(&sim);
#pragma once
#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

struct SimProcess {
    pid_t pid = -1;
    std::string dir;         // a fresh temporary folder
    std::string link;        // <dir>/com4, the simulator's line
    std::string transcript;  // <dir>/transcript.txt
    std::string memory;      // <dir>/memory (memory.t62 ... when several devices are listed)
    std::string log;         // <dir>/devsim.log: the simulator's stdout and stderr
};

// Makes the folder and starts the simulator with --link, --transcript and
// --memory set to the paths above, followed by args. Returns once the link
// is there; false when the simulator ended first or did not link within 5 s.
bool StartSim(SimProcess* sim, const std::vector<std::string>& args);

// Stops the simulator with SIGTERM and waits for it (killing it after 5 s).
// Returns its exit status (-1 when it had to be killed or was not running).
int StopSim(SimProcess* sim);

// Stops the simulator if it still runs and removes the folder.
void RemoveSimDir(SimProcess* sim);

// Opens path raw, 8N1, at baud, non-blocking. Returns the descriptor or -1.
int OpenLine(const std::string& path, uint32_t baud);
// Changes the speed of an open line. Returns false on failure.
bool SetLineBaud(int fd, uint32_t baud);
// Writes all bytes. Returns false on failure.
bool WriteLine(int fd, const std::vector<uint8_t>& bytes);
// Reads until count bytes came or timeoutMs passed; returns what came.
std::vector<uint8_t> ReadLine(int fd, size_t count, int timeoutMs);

std::string ReadTextFile(const std::string& path);
std::vector<uint8_t> ReadBinaryFile(const std::string& path);

// Milliseconds on the monotonic clock.
int64_t NowMs();

// Waits until the transcript holds text. Returns whether it appeared.
bool WaitForTranscript(const SimProcess& sim, const std::string& text, int timeoutMs);
