// The device simulator itself, over its real pty: the behaviours the other
// tests rely on and that a faulty simulator would get wrong.
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/integration/sim_harness.h"

namespace {

typedef std::vector<uint8_t> Bytes;

// How long a test waits before it takes silence for an answer.
const int kQuietMs = 150;
const int kReplyMs = 2000;

Bytes Frame(const Bytes& payload) {
    Bytes out = {0x55, 0x55};
    uint8_t sum = 0;
    auto put = [&out](uint8_t b) {
        if (b == 0x04 || b == 0x05 || b == 0x55) out.push_back(0x05);
        out.push_back(b);
    };
    for (uint8_t b : payload) {
        put(b);
        sum = static_cast<uint8_t>(sum + b);
    }
    put(static_cast<uint8_t>(0x100 - sum));
    out.push_back(0x04);
    return out;
}

struct Reply {
    bool complete = false;  // a whole frame came
    bool sumOk = false;
    Bytes payload;          // checksum removed
    size_t skipped = 0;     // bytes before the start pair
};

// Reads one frame from the line, byte by byte.
Reply ReadFrame(int fd, int timeoutMs = kReplyMs) {
    Reply r;
    int need = 2;
    while (need > 0) {
        Bytes b = ReadLine(fd, 1, timeoutMs);
        if (b.empty()) return r;
        if (b[0] == 0x55) {
            --need;
        } else {
            r.skipped += 2 - need + 1;
            need = 2;
        }
    }
    Bytes body;
    for (;;) {
        Bytes b = ReadLine(fd, 1, timeoutMs);
        if (b.empty()) return r;
        if (b[0] == 0x04) break;
        if (b[0] == 0x05) {
            b = ReadLine(fd, 1, timeoutMs);
            if (b.empty()) return r;
        }
        body.push_back(b[0]);
    }
    uint8_t sum = 0;
    for (uint8_t b : body) sum = static_cast<uint8_t>(sum + b);
    r.complete = !body.empty();
    r.sumOk = r.complete && sum == 0;
    if (r.complete) r.payload.assign(body.begin(), body.end() - 1);
    return r;
}

Bytes Address(uint32_t a) { return {static_cast<uint8_t>(a), static_cast<uint8_t>(a >> 8), static_cast<uint8_t>(a >> 16)}; }

Bytes ReadRowRequest(uint32_t a) {
    Bytes p = {0x01, 0x40};
    Bytes ad = Address(a);
    p.insert(p.end(), ad.begin(), ad.end());
    return p;
}

Bytes EraseRequest(uint32_t a) {
    Bytes p = {0x03, 0x01};
    Bytes ad = Address(a);
    p.insert(p.end(), ad.begin(), ad.end());
    return p;
}

Bytes WriteRowRequest(uint32_t a, const Bytes& row) {
    Bytes p = {0x02, 0x01};
    Bytes ad = Address(a);
    p.insert(p.end(), ad.begin(), ad.end());
    p.insert(p.end(), row.begin(), row.end());
    return p;
}

// 256 image bytes, every byte different from its neighbours.
Bytes Pattern(uint8_t seed) {
    Bytes row(256);
    for (size_t i = 0; i < row.size(); ++i) row[i] = static_cast<uint8_t>(seed + 7 * i);
    return row;
}

// What the device holds after programming row over old: bits only clear,
// pad bytes read 0.
Bytes Programmed(const Bytes& old, const Bytes& row) {
    Bytes out(256);
    for (size_t i = 0; i < out.size(); ++i) out[i] = (i % 4 == 3) ? 0 : (old[i] & row[i]);
    return out;
}

Bytes RowOf(const Reply& r) { return r.payload.size() >= 5 ? Bytes(r.payload.begin() + 5, r.payload.end()) : Bytes(); }

Bytes KeyerRecord(uint8_t command, uint16_t address, uint8_t fill) {
    Bytes f = {command, static_cast<uint8_t>(address >> 8), static_cast<uint8_t>(address)};
    for (int i = 0; i < 16; ++i) f.push_back(static_cast<uint8_t>(fill + i));
    uint8_t sum = 0;
    for (uint8_t b : f) sum = static_cast<uint8_t>(sum + b);
    f.push_back(static_cast<uint8_t>(0x100 - sum));
    return f;
}

Bytes PsocBlock(uint8_t number, const Bytes& data) {
    Bytes b = {0x55, number};
    b.insert(b.end(), data.begin(), data.end());
    b.push_back(0x04);
    return b;
}

class DevsimTest : public ::testing::Test {
protected:
    void Start(const std::vector<std::string>& args, uint32_t baud) {
        ASSERT_TRUE(StartSim(&sim, args)) << ReadTextFile(sim.log);
        fd = OpenLine(sim.link, baud);
        ASSERT_GE(fd, 0);
    }
    // Stops the simulator; it must end cleanly and take its link away.
    void Stop() {
        if (fd >= 0) close(fd);
        fd = -1;
        EXPECT_EQ(0, StopSim(&sim));
        struct stat st;
        EXPECT_NE(0, lstat(sim.link.c_str(), &st)) << "the link outlived the simulator";
    }
    void TearDown() override {
        if (fd >= 0) close(fd);
        if (HasFailure()) std::fprintf(stderr, "transcript:\n%s\n", ReadTextFile(sim.transcript).c_str());
        RemoveSimDir(&sim);
    }
    Reply Ask(const Bytes& payload, int timeoutMs = kReplyMs) {
        EXPECT_TRUE(WriteLine(fd, Frame(payload)));
        return ReadFrame(fd, timeoutMs);
    }
    Bytes Exchange(const Bytes& request, size_t replyBytes, int timeoutMs = kReplyMs) {
        EXPECT_TRUE(WriteLine(fd, request));
        return ReadLine(fd, replyBytes, timeoutMs);
    }
    SimProcess sim;
    int fd = -1;
};

TEST_F(DevsimTest, EachDeviceHearsOnlyItsOwnSpeed) {
    Start({"--device", "t62,psoc", "--t62-hw-rev", "2", "--t62-loader", "3.7", "--psoc-version", "9"}, 115200);

    Reply id = Ask({0x00, 0x01});
    ASSERT_TRUE(id.sumOk);
    ASSERT_GE(id.payload.size(), 4u);
    EXPECT_EQ(2, id.payload[1]);
    EXPECT_EQ(7, id.payload[2]);
    EXPECT_EQ(3, id.payload[3]);
    EXPECT_TRUE(Exchange({0xCC}, 1, kQuietMs).empty()) << "the PSoC answered at 115200";

    ASSERT_TRUE(SetLineBaud(fd, 19200));
    EXPECT_TRUE(Exchange(Frame({0x00, 0x01}), 1, kQuietMs).empty()) << "the T62 answered at 19200";
    // The T62 frame the PSoC overheard must not spoil its next identify.
    EXPECT_EQ((Bytes{'3', '9'}), Exchange({0xCC}, 2));

    ASSERT_TRUE(SetLineBaud(fd, 38400));
    EXPECT_TRUE(Exchange({0xCC}, 1, kQuietMs).empty());
    Stop();
    std::string transcript = ReadTextFile(sim.transcript);
    EXPECT_NE(std::string::npos, transcript.find(" drop 38400 cc\n")) << transcript;
    EXPECT_NE(std::string::npos, transcript.find(" H>D 19200 cc\n")) << transcript;
    EXPECT_NE(std::string::npos, transcript.find(" D>H 19200 33 39\n")) << transcript;
    // One memory file per device when several share the line.
    EXPECT_EQ(0x40000u, ReadBinaryFile(sim.memory + ".t62").size());
    EXPECT_EQ(0x3600u, ReadBinaryFile(sim.memory + ".psoc").size());
}

TEST_F(DevsimTest, T62ProgramMemoryBehavesLikeFlash) {
    Start({"--device", "t62", "--t62-fill", "0x5a"}, 115200);
    const uint32_t row = 0xC80;

    Reply before = Ask(ReadRowRequest(row));
    ASSERT_TRUE(before.sumOk);
    ASSERT_EQ(261u, before.payload.size());
    EXPECT_EQ(ReadRowRequest(row), Bytes(before.payload.begin(), before.payload.begin() + 5));
    Bytes old = RowOf(before);
    EXPECT_EQ(Programmed(Bytes(256, 0x5A), Bytes(256, 0xFF)), old) << "initial fill, pad bytes 0";

    // Writing over unerased memory can only clear bits.
    Bytes first = Pattern(0x11);
    Reply ack = Ask(WriteRowRequest(row, first));
    ASSERT_TRUE(ack.sumOk);
    EXPECT_LE(ack.payload.size() + 1, 5u) << "the host takes at most 5 body bytes";
    EXPECT_EQ(Programmed(old, first), RowOf(Ask(ReadRowRequest(row))));

    // An erase at any address inside an 8-row unit clears the whole unit.
    ASSERT_TRUE(Ask(EraseRequest(0xF7E)).sumOk);
    Bytes erased = Programmed(Bytes(256, 0xFF), Bytes(256, 0xFF));
    EXPECT_EQ(erased, RowOf(Ask(ReadRowRequest(0xC00))));
    EXPECT_EQ(erased, RowOf(Ask(ReadRowRequest(row))));
    EXPECT_EQ(erased, RowOf(Ask(ReadRowRequest(0xF80))));
    EXPECT_EQ(old, RowOf(Ask(ReadRowRequest(0x1000)))) << "the next unit was erased too";

    ASSERT_TRUE(Ask(WriteRowRequest(row, first)).sumOk);
    Bytes second = Pattern(0xC3);
    ASSERT_TRUE(Ask(WriteRowRequest(row, second)).sumOk);
    Bytes expected = Programmed(Programmed(erased, first), second);
    EXPECT_EQ(expected, RowOf(Ask(ReadRowRequest(row))));

    // Reset has no reply and writes the memory file at once.
    ASSERT_TRUE(WriteLine(fd, Frame({0x08, 0x00})));
    EXPECT_FALSE(ReadFrame(fd, kQuietMs).complete);
    ASSERT_TRUE(WaitForTranscript(sim, "note reset t62", kReplyMs));
    EXPECT_EQ(0x40000u, ReadBinaryFile(sim.memory).size());

    Stop();
    Bytes memory = ReadBinaryFile(sim.memory);
    ASSERT_EQ(0x40000u, memory.size());
    EXPECT_EQ(expected, Bytes(memory.begin() + 2 * row, memory.begin() + 2 * row + 256));
    EXPECT_EQ(erased, Bytes(memory.begin() + 2 * 0xF80, memory.begin() + 2 * 0xF80 + 256));
    EXPECT_EQ(old, Bytes(memory.begin() + 2 * 0x1000, memory.begin() + 2 * 0x1000 + 256));
    std::string transcript = ReadTextFile(sim.transcript);
    EXPECT_NE(std::string::npos, transcript.find("note erase 000c00")) << transcript;
    EXPECT_NE(std::string::npos, transcript.find("note write 000c80")) << transcript;
}

TEST_F(DevsimTest, T62FaultsHitTheNamedOccurrence) {
    Start({"--device", "t62", "--fault", "corrupt:identify:1", "--fault", "noise:identify:2:7", "--fault",
           "drop:write:1", "--fault", "diff:read:2", "--fault", "long:erase:1", "--fault", "silent:identify:4"},
          115200);

    Reply corrupt = Ask({0x00, 0x01});
    EXPECT_TRUE(corrupt.complete);
    EXPECT_FALSE(corrupt.sumOk);
    Reply noisy = Ask({0x00, 0x01});
    EXPECT_TRUE(noisy.sumOk);
    EXPECT_EQ(7u, noisy.skipped);
    EXPECT_TRUE(Ask({0x00, 0x01}).sumOk);

    // A lost write reply: the row is written all the same.
    Bytes row = Pattern(0x20);
    Reply erase = Ask(EraseRequest(0x400));
    EXPECT_TRUE(erase.sumOk);
    EXPECT_GT(erase.payload.size() + 1, 262u) << "longer than the host's largest limit";
    EXPECT_FALSE(Ask(WriteRowRequest(0x400, row), kQuietMs).complete);
    Reply good = Ask(ReadRowRequest(0x400));
    Reply differs = Ask(ReadRowRequest(0x400));
    ASSERT_TRUE(good.sumOk);
    ASSERT_TRUE(differs.sumOk);
    Bytes expected = Programmed(Bytes(256, 0xFF), row);
    EXPECT_EQ(expected, RowOf(good));
    Bytes d = RowOf(differs);
    ASSERT_EQ(256u, d.size());
    int significant = 0;
    int pads = 0;
    for (size_t i = 0; i < 256; ++i) {
        if (d[i] != expected[i]) ++(i % 4 == 3 ? pads : significant);
    }
    EXPECT_EQ(1, significant);
    EXPECT_EQ(0, pads);

    // From the fourth identify on, nothing at all.
    EXPECT_FALSE(Ask({0x00, 0x01}, kQuietMs).complete);
    ASSERT_TRUE(WriteLine(fd, Frame(ReadRowRequest(0))));
    EXPECT_TRUE(ReadLine(fd, 1, kQuietMs).empty());

    Stop();
    std::string transcript = ReadTextFile(sim.transcript);
    for (const char* fault : {"corrupt:identify:1", "noise:identify:2:7", "drop:write:1", "diff:read:2",
                              "long:erase:1", "silent:identify:4"}) {
        EXPECT_NE(std::string::npos, transcript.find(std::string("note fault ") + fault)) << fault;
    }
}

TEST_F(DevsimTest, T62IgnoresFramesWithABadChecksum) {
    Start({"--device", "t62"}, 115200);
    Bytes bad = Frame({0x00, 0x01});
    bad[bad.size() - 2] ^= 0x01;
    // Garbage and a lone 0x55 before a good frame: the device resyncs.
    Bytes good = {0x13, 0x55, 0x17};
    Bytes frame = Frame({0x00, 0x01});
    good.insert(good.end(), frame.begin(), frame.end());
    EXPECT_TRUE(Exchange(bad, 1, kQuietMs).empty());
    ASSERT_TRUE(WriteLine(fd, good));
    EXPECT_TRUE(ReadFrame(fd).sumOk);
    Stop();
}

TEST_F(DevsimTest, PsocEchoesBlocksAndFinishes) {
    Start({"--device", "psoc", "--psoc-fill", "0xee", "--fault", "short:block:2:10", "--fault", "corrupt:block:3",
           "--fault", "reply:finish:1:0x00"},
          19200);
    Bytes data(64);
    for (int i = 0; i < 64; ++i) data[i] = static_cast<uint8_t>(0x80 + i);

    Bytes echo = Exchange(PsocBlock(3, data), 66);
    ASSERT_EQ(66u, echo.size());
    EXPECT_EQ(data, Bytes(echo.begin() + 1, echo.end() - 1));

    EXPECT_EQ(10u, Exchange(PsocBlock(4, data), 66, 300).size());

    Bytes corrupt = Exchange(PsocBlock(215, data), 66);
    ASSERT_EQ(66u, corrupt.size());
    int wrong = 0;
    for (int i = 0; i < 64; ++i) wrong += corrupt[1 + i] != data[i];
    EXPECT_EQ(1, wrong);

    // Block 85 begins like the framed reset, even with the reset's bytes.
    Bytes tricky = data;
    tricky[0] = 0x08, tricky[1] = 0x00, tricky[2] = 0xF8, tricky[3] = 0x04;
    Bytes echo85 = Exchange(PsocBlock(85, tricky), 66);
    ASSERT_EQ(66u, echo85.size());
    EXPECT_EQ(tricky, Bytes(echo85.begin() + 1, echo85.end() - 1));

    // The reset itself: no answer, and the loader still listens afterwards.
    EXPECT_TRUE(Exchange(Frame({0x08, 0x00}), 1, kQuietMs).empty());
    ASSERT_TRUE(WaitForTranscript(sim, "note reset psoc", kReplyMs));
    EXPECT_EQ((Bytes{0x33, 0x37}), Exchange({0xCC}, 2));

    EXPECT_EQ((Bytes{0x00}), Exchange({0x5A}, 1));
    EXPECT_EQ((Bytes{0xA5}), Exchange({0x5A}, 1));
    ASSERT_TRUE(WaitForTranscript(sim, "note finish psoc", kReplyMs));

    Stop();
    Bytes memory = ReadBinaryFile(sim.memory);
    ASSERT_EQ(0x3600u, memory.size());
    EXPECT_EQ(data, Bytes(memory.begin() + 3 * 64, memory.begin() + 4 * 64));
    EXPECT_EQ(data, Bytes(memory.begin() + 4 * 64, memory.begin() + 5 * 64)) << "a short echo still stores";
    EXPECT_EQ(tricky, Bytes(memory.begin() + 85 * 64, memory.begin() + 86 * 64));
    EXPECT_EQ(Bytes(64, 0xEE), Bytes(memory.begin() + 2 * 64, memory.begin() + 3 * 64));
}

TEST_F(DevsimTest, KeyerLoaderListensOnlyAtItsOwnSpeed) {
    Start({"--device", "keyer", "--keyer-variant", "topaz", "--keyer-version", "32", "--keyer-revision", "4"}, 1200);
    EXPECT_EQ((Bytes{0x55}), Exchange({0x00, 0x04, 0x55}, 1));
    EXPECT_EQ((Bytes{32}), Exchange({0x00, 0x09}, 1));
    EXPECT_EQ((Bytes{54}), Exchange({0x00, 0x17}, 1));
    EXPECT_EQ((Bytes{2}), Exchange({0x00, 0x18}, 1));

    EXPECT_TRUE(Exchange({0x00, 0x10, 0x9B}, 1, kQuietMs).empty());
    EXPECT_EQ((Bytes{0xAA}), Exchange({0x00, 0x04, 0x55}, 1));
    EXPECT_TRUE(Exchange({0x00, 0x09}, 1, kQuietMs).empty()) << "only the loader runs after the hand-over";

    // Too early: the host is still at 1200 when the loader has moved.
    EXPECT_TRUE(Exchange({0x35}, 1, kQuietMs).empty());
    Bytes first = KeyerRecord(0x1B, 0x0020, 0x10);
    EXPECT_TRUE(Exchange(first, 1, kQuietMs).empty());

    ASSERT_TRUE(SetLineBaud(fd, 9600));
    // Any chunking: a frame in three pieces.
    ASSERT_TRUE(WriteLine(fd, Bytes(first.begin(), first.begin() + 1)));
    usleep(20000);
    ASSERT_TRUE(WriteLine(fd, Bytes(first.begin() + 1, first.begin() + 13)));
    usleep(20000);
    EXPECT_EQ((Bytes{0x3C}), Exchange(Bytes(first.begin() + 13, first.end()), 1));

    Bytes badSum = KeyerRecord(0x1B, 0x0028, 0x20);
    badSum[19] ^= 0x01;
    EXPECT_EQ((Bytes{0x81}), Exchange(badSum, 1));
    EXPECT_EQ((Bytes{0x80}), Exchange(KeyerRecord(0x1C, 0x0030, 0x30), 1));
    // Two frames in one write.
    Bytes two = KeyerRecord(0x1B, 0x0000, 0x40);
    Bytes last = KeyerRecord(0x2E, 0x0018, 0x50);
    two.insert(two.end(), last.begin(), last.end());
    EXPECT_EQ((Bytes{0x3C, 0x3C}), Exchange(two, 2));

    EXPECT_TRUE(Exchange({0x5A}, 1, kQuietMs).empty());
    ASSERT_TRUE(WaitForTranscript(sim, "note keyer speed 1200", kReplyMs));
    EXPECT_TRUE(Exchange({0x00, 0x04, 0x55}, 1, kQuietMs).empty()) << "the loader is back at 1200";
    ASSERT_TRUE(SetLineBaud(fd, 1200));
    EXPECT_EQ((Bytes{0xAA}), Exchange({0x00, 0x04, 0x55}, 1));

    std::string expected =
        "1b 0020 101112131415161718191a1b1c1d1e1f 9600\n"
        "1b 0000 404142434445464748494a4b4c4d4e4f 9600\n"
        "2e 0018 505152535455565758595a5b5c5d5e5f 9600\n";
    EXPECT_EQ(expected, ReadTextFile(sim.memory)) << "written at 0x5A";
    Stop();
    EXPECT_EQ(expected, ReadTextFile(sim.memory));
    std::string transcript = ReadTextFile(sim.transcript);
    EXPECT_NE(std::string::npos, transcript.find(" drop 1200 1b 00 20 10 11")) << transcript;
}

TEST_F(DevsimTest, KeyerWithoutOperatingFirmwareAndItsFaults) {
    Start({"--device", "keyer", "--keyer-variant", "none", "--fault", "reply:echo:2:0x00", "--fault",
           "corrupt:record:1", "--fault", "drop:record:2", "--fault", "ignore:record:3", "--fault",
           "reply:record:4:0x81"},
          1200);
    EXPECT_EQ((Bytes{0xAA}), Exchange({0x00, 0x04, 0x55}, 1));
    EXPECT_TRUE(Exchange({0x00, 0x18}, 1, kQuietMs).empty());
    EXPECT_EQ((Bytes{0x00}), Exchange({0x00, 0x04, 0x55}, 1));
    EXPECT_TRUE(Exchange({0x35}, 1, kQuietMs).empty());
    ASSERT_TRUE(SetLineBaud(fd, 9600));
    EXPECT_EQ((Bytes{0xC3}), Exchange(KeyerRecord(0x1B, 0x0100, 0x01), 1));
    EXPECT_TRUE(Exchange(KeyerRecord(0x1B, 0x0108, 0x02), 1, kQuietMs).empty());
    EXPECT_TRUE(Exchange(KeyerRecord(0x1B, 0x0110, 0x03), 1, kQuietMs).empty());
    EXPECT_EQ((Bytes{0x81}), Exchange(KeyerRecord(0x1B, 0x0118, 0x04), 1));
    EXPECT_EQ((Bytes{0x3C}), Exchange(KeyerRecord(0x2E, 0x0120, 0x05), 1));
    Stop();
    // Carried out: all but the ignored one.
    std::string records = ReadTextFile(sim.memory);
    EXPECT_NE(std::string::npos, records.find("1b 0100 "));
    EXPECT_NE(std::string::npos, records.find("1b 0108 "));
    EXPECT_EQ(std::string::npos, records.find("1b 0110 "));
    EXPECT_NE(std::string::npos, records.find("1b 0118 "));
    EXPECT_NE(std::string::npos, records.find("2e 0120 "));
}

// A late reply comes after its delay, and what the host sent meanwhile is
// taken afterwards, in order.
TEST_F(DevsimTest, LateReplyKeepsTheLineWaiting) {
    // 1 s late: the test has 750 ms of it to send its next command on time.
    Start({"--device", "keyer", "--keyer-variant", "topaz", "--fault", "late:version:1:1000"}, 1200);
    int64_t start = NowMs();
    ASSERT_TRUE(WriteLine(fd, {0x00, 0x09}));
    EXPECT_TRUE(ReadLine(fd, 1, 250).empty());
    ASSERT_TRUE(WriteLine(fd, {0x00, 0x17}));
    EXPECT_EQ((Bytes{31, 53}), ReadLine(fd, 2, kReplyMs));
    EXPECT_GE(NowMs() - start, 1000);
    EXPECT_EQ((Bytes{31}), Exchange({0x00, 0x09}, 1, kQuietMs)) << "only the first version reply is late";
    Stop();
    EXPECT_NE(std::string::npos, ReadTextFile(sim.transcript).find("note keyer replies 1000 ms late"));
}

TEST_F(DevsimTest, PacedLineTakesWireTime) {
    Start({"--device", "psoc,keyer", "--paced", "--fault", "noise:echo:1:200"}, 19200);
    Bytes data(64, 0x3C);
    int64_t start = NowMs();
    Bytes echo = Exchange(PsocBlock(1, data), 66);
    int64_t elapsed = NowMs() - start;
    ASSERT_EQ(66u, echo.size());
    // 67 bytes in and 66 out at 19200 baud: 10 bits each, about 69 ms.
    EXPECT_GE(elapsed, 65);
    EXPECT_LT(elapsed, 1000);

    // 200 noise bytes at 1200 baud take about 1.7 s; a host that leaves
    // 1200 once the first has come hears no more than were sent by then,
    // nor the reply: what it heard and what the device did not send make up
    // the burst.
    ASSERT_TRUE(SetLineBaud(fd, 1200));
    ASSERT_TRUE(WriteLine(fd, {0x00, 0x04, 0x55}));
    Bytes heard = ReadLine(fd, 1, kReplyMs);
    ASSERT_EQ(1u, heard.size()) << "the burst did not begin";
    ASSERT_TRUE(SetLineBaud(fd, 9600));
    ASSERT_TRUE(WaitForTranscript(sim, "note not sent:", 5000));
    Bytes rest = ReadLine(fd, 201, kQuietMs);
    heard.insert(heard.end(), rest.begin(), rest.end());
    std::string transcript = ReadTextFile(sim.transcript);
    size_t note = transcript.find("note not sent: ");
    unsigned long unsent = 0;
    ASSERT_EQ(1, std::sscanf(transcript.c_str() + note, "note not sent: %lu bytes", &unsent));
    EXPECT_EQ(200u, heard.size() + unsent) << transcript;
    for (uint8_t b : heard) EXPECT_NE(0x55, b) << "the reply was heard";
    Stop();
}

// Through a modelled USB adapter the device's bytes come in packets of 62:
// a full one at once, the rest when the latency timer next runs out, which
// every packet starts again.
TEST_F(DevsimTest, AdapterPassesBytesOnInPacketsAtItsLatencyTick) {
    Start({"--device", "psoc", "--adapter", "ftdi:latency=200"}, 19200);
    ASSERT_TRUE(WriteLine(fd, PsocBlock(1, Bytes(64, 0x3C))));
    EXPECT_EQ(62u, ReadLine(fd, 62, kReplyMs).size());
    int64_t full = NowMs();
    EXPECT_EQ(4u, ReadLine(fd, 4, kReplyMs).size());
    int64_t rest = NowMs() - full;
    EXPECT_GE(rest, 150) << "the last 4 bytes did not wait for the timer";
    EXPECT_LT(rest, 1000);
    Stop();
    EXPECT_NE(std::string::npos,
              ReadTextFile(sim.transcript).find("note adapter ftdi: packets of 62 bytes, latency timer 200 ms"));
}

// A power loss takes the command with it and leaves the device deaf for its
// time; then the T62 answers again with its memory as it was, and a keyer
// whose upload had begun comes back at 1200 in its loader, without O/S.
TEST_F(DevsimTest, PowerLossKeepsMemoryAndRestartsInTheLoader) {
    Start({"--device", "t62,keyer", "--fault", "power:t62.any:3:400", "--fault", "power:keyer.record:2:400"},
          115200);
    Bytes row = Pattern(0x31);
    ASSERT_TRUE(Ask(EraseRequest(0xC00)).sumOk);
    ASSERT_TRUE(Ask(WriteRowRequest(0xC00, row)).sumOk);
    EXPECT_FALSE(Ask(EraseRequest(0xC00), kQuietMs).complete) << "the command that met the power loss";
    EXPECT_FALSE(Ask({0x00, 0x01}, kQuietMs).complete) << "deaf while the power is off";
    ASSERT_TRUE(WaitForTranscript(sim, "note power on t62", kReplyMs));
    EXPECT_EQ(Programmed(Bytes(256, 0xFF), row), RowOf(Ask(ReadRowRequest(0xC00))));

    ASSERT_TRUE(SetLineBaud(fd, 1200));
    EXPECT_EQ((Bytes{0x55}), Exchange({0x00, 0x04, 0x55}, 1)) << "the O/S runs";
    EXPECT_TRUE(Exchange({0x00, 0x10, 0x9B, 0x35}, 1, kQuietMs).empty());
    ASSERT_TRUE(SetLineBaud(fd, 9600));
    EXPECT_EQ((Bytes{0x3C}), Exchange(KeyerRecord(0x1B, 0x0020, 0x10), 1));
    EXPECT_TRUE(Exchange(KeyerRecord(0x1B, 0x0028, 0x20), 1, kQuietMs).empty());
    ASSERT_TRUE(WaitForTranscript(sim, "note power on keyer: loader at 1200", kReplyMs));
    EXPECT_TRUE(Exchange({0x00, 0x04, 0x55}, 1, kQuietMs).empty()) << "back at 1200, not 9600";
    ASSERT_TRUE(SetLineBaud(fd, 1200));
    EXPECT_EQ((Bytes{0xAA}), Exchange({0x00, 0x04, 0x55}, 1)) << "its loader, no O/S";
    Stop();
    EXPECT_EQ("1b 0020 101112131415161718191a1b1c1d1e1f 9600\n", ReadTextFile(sim.memory + ".keyer"));
}

// Unplugged, the line goes away with its link; a new one comes at the same
// place, where the device answers as before.
TEST_F(DevsimTest, UnplugLinksANewLineAtTheSamePlace) {
    Start({"--device", "t62", "--fault", "unplug:identify:2:300"}, 115200);
    ASSERT_TRUE(Ask({0x00, 0x01}).sumOk);
    EXPECT_FALSE(Ask({0x00, 0x01}, kQuietMs).complete);
    struct stat st;
    EXPECT_NE(0, lstat(sim.link.c_str(), &st)) << "the link stayed";
    EXPECT_FALSE(WriteLine(fd, Frame({0x00, 0x01}))) << "the old line still takes bytes";
    ASSERT_TRUE(WaitForTranscript(sim, "note plugged in again", kReplyMs));
    close(fd);
    fd = OpenLine(sim.link, 115200);
    ASSERT_GE(fd, 0);
    EXPECT_TRUE(Ask({0x00, 0x01}).sumOk);
    Stop();
    EXPECT_NE(std::string::npos, ReadTextFile(sim.transcript).find("note commands t62: any 3 identify 3"));
}

TEST_F(DevsimTest, RefusesABadCommandLine) {
    EXPECT_FALSE(StartSim(&sim, {"--device", "t62,modem"}));
    RemoveSimDir(&sim);
    EXPECT_FALSE(StartSim(&sim, {"--device", "t62", "--fault", "drop:record:1"}));
    RemoveSimDir(&sim);
    EXPECT_FALSE(StartSim(&sim, {"--device", "psoc", "--fault", "short:block:0:3"}));
    RemoveSimDir(&sim);
    EXPECT_FALSE(StartSim(&sim, {"--device", "psoc", "--adapter", "ftdi:latency=0"}));
}

}  // namespace
