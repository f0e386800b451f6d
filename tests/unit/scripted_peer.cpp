#include "scripted_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>


#include "serial/frame.h"
#include "serial/serial_port.h"

namespace {

void Send(int fd, const Bytes& bytes) {
    size_t off = 0;
    while (off < bytes.size()) {
        ssize_t n = write(fd, bytes.data() + off, bytes.size() - off);
        if (n > 0) {
            off += n;
        } else {
            pollfd p = {fd, POLLOUT, 0};
            poll(&p, 1, 100);
        }
    }
}

// Cuts T62 frames out of the stream; the handler gets the unescaped body.
struct FrameCutter {
    int need = 2;
    bool inBody = false;
    bool escaped = false;
    Bytes body;
    // Returns true with a complete body in *out.
    bool Feed(uint8_t b, Bytes* out) {
        if (!inBody) {
            need = b == 0x55 ? need - 1 : 2;
            if (need == 0) {
                inBody = true;
                body.clear();
            }
            return false;
        }
        if (escaped) {
            escaped = false;
            body.push_back(b);
            return false;
        }
        if (b == 0x05) {
            escaped = true;
        } else if (b == 0x04) {
            inBody = false;
            need = 2;
            *out = body;
            return true;
        } else if (b == 0x55) {
            need = 1;
            inBody = false;
        } else {
            body.push_back(b);
        }
        return false;
    }
};

void Serve(ScriptedPeer* peer) {
    FrameCutter cutter;
    while (!peer->stop) {
        pollfd p = {peer->master, POLLIN, 0};
        if (poll(&p, 1, 20) <= 0) continue;
        uint8_t chunk[512];
        ssize_t n = read(peer->master, chunk, sizeof chunk);
        if (n <= 0) continue;
        if (peer->framing == kPeerRaw) {
            Bytes got(chunk, chunk + n);
            {
                std::lock_guard<std::mutex> hold(peer->lock);
                peer->requests.push_back(got);
            }
            Send(peer->master, peer->handler(got));
            continue;
        }
        for (ssize_t i = 0; i < n; ++i) {
            Bytes body;
            if (!cutter.Feed(chunk[i], &body)) continue;
            {
                std::lock_guard<std::mutex> hold(peer->lock);
                peer->requests.push_back(body);
            }
            Send(peer->master, peer->handler(body));
        }
    }
}

}  // namespace

bool StartPeer(ScriptedPeer* peer, int port, PeerFraming framing, std::function<Bytes(const Bytes&)> handler) {
    int master = -1, slave = -1;
    char name[128];
    if (openpty(&master, &slave, name, nullptr, nullptr) != 0) return false;
    termios tio;
    tcgetattr(slave, &tio);
    cfmakeraw(&tio);
    tcsetattr(slave, TCSANOW, &tio);
    fcntl(master, F_SETFL, O_NONBLOCK);
    char dirTemplate[] = "/tmp/ridorez-peer-XXXXXX";
    if (mkdtemp(dirTemplate) == nullptr) return false;
    peer->dir = dirTemplate;
    peer->link = peer->dir + "/com" + std::to_string(port);
    if (symlink(name, peer->link.c_str()) != 0) return false;
    peer->slave = slave;
    SerialSetDeviceDir(peer->dir.c_str());
    peer->master = master;
    peer->framing = framing;
    peer->handler = handler;
    peer->thread = std::thread(Serve, peer);
    return true;
}

void StopPeer(ScriptedPeer* peer) {
    peer->stop = true;
    if (peer->thread.joinable()) peer->thread.join();
    if (peer->master >= 0) close(peer->master);
    peer->master = -1;
    if (peer->slave >= 0) close(peer->slave);
    peer->slave = -1;
    if (!peer->link.empty()) unlink(peer->link.c_str());
    if (!peer->dir.empty()) rmdir(peer->dir.c_str());
}

std::vector<Bytes> PeerRequests(ScriptedPeer* peer) {
    std::lock_guard<std::mutex> hold(peer->lock);
    return peer->requests;
}

Bytes T62Reply(const Bytes& payload) {
    Bytes frame(FrameCapacity(payload.size()));
    frame.resize(BuildFrame(payload.data(), static_cast<uint16_t>(payload.size()), frame.data()));
    return frame;
}
