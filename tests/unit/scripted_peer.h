// A device played by the test: the far end of a real pseudo-terminal whose
// slave is linked as COM<n> for the native serial layer. A handler sees each
// chunk of bytes the host sent (as gathered by the framing rule given) and
// returns what the device answers.
#pragma once
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

typedef std::vector<uint8_t> Bytes;

// How the peer cuts the host's byte stream into requests.
enum PeerFraming {
    kPeerT62Frames,  // 0x55 0x55 ... 0x04 with 0x05 escapes; handler gets the unescaped body
    kPeerRaw,        // every read: handler gets whatever arrived (accumulated by the handler)
};

struct ScriptedPeer {
    int master = -1;
    int slave = -1;  // kept open so the master never sees a hang-up
    std::string link;
    std::string dir;
    PeerFraming framing = kPeerRaw;
    std::function<Bytes(const Bytes&)> handler;
    std::vector<Bytes> requests;  // what the handler was given, in order
    std::mutex lock;
    std::atomic<bool> stop{false};
    std::thread thread;
};

// Creates the pty, links its slave as <temp dir>/com<port>, points the serial
// layer at that folder and starts serving. Returns false on failure.
bool StartPeer(ScriptedPeer* peer, int port, PeerFraming framing, std::function<Bytes(const Bytes&)> handler);
void StopPeer(ScriptedPeer* peer);
std::vector<Bytes> PeerRequests(ScriptedPeer* peer);

// A T62 reply frame for payload (escaping and checksum done here).
Bytes T62Reply(const Bytes& payload);
