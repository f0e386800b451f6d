// Reading a release: SHA-256 against sha256sum, the picking of an image for
// a device, and every release that must be refused, each with its entry named.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "release/release.h"
#include "release/sha256.h"

namespace {

std::string Shell(const std::string& command) {
    std::string out;
    FILE* pipe = popen(command.c_str(), "r");
    char block[256];
    size_t got;
    while (pipe != nullptr && (got = std::fread(block, 1, sizeof block, pipe)) > 0) out.append(block, got);
    if (pipe != nullptr) pclose(pipe);
    return out;
}

void Write(const std::string& path, const std::string& text) {
    FILE* file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(nullptr, file) << path;
    std::fwrite(text.data(), 1, text.size(), file);
    std::fclose(file);
}

class ReleaseTest : public ::testing::Test {
protected:
    void SetUp() override {
        char folder[] = "/tmp/release_testXXXXXX";
        ASSERT_NE(nullptr, mkdtemp(folder));
        dir = folder;
        Write(dir + "/t62.hex", ":00000001FF\n");
        Write(dir + "/jade.hex", ":0400000001020304F2\n:00000001FF\n");
    }
    void TearDown() override { Shell("chmod -R u+w " + dir + "; rm -rf " + dir); }
    std::string Digest(const std::string& name) { return Shell("sha256sum " + dir + "/" + name).substr(0, 64); }
    std::string Entry(const std::string& target, const std::string& file, const std::string& extra = "",
                      long size = -1, const std::string& digest = "") {
        std::string sum = digest.empty() ? Digest(file) : digest;
        struct stat info;
        if (size < 0) size = stat((dir + "/" + file).c_str(), &info) == 0 ? static_cast<long>(info.st_size) : 0;
        return "{\"target\":\"" + target + "\",\"file\":\"" + file + "\",\"size\":" + std::to_string(size) +
               ",\"sha256\":\"" + sum + "\"" + extra + "}";
    }
    // Writes release.json with these entries, reads it and checks every image.
    std::string Refusal(const std::string& entries) {
        Write(dir + "/release.json",
              "{\"format\":1,\"name\":\"Keyer\",\"version\":\"2.0\",\"images\":[" + entries + "]}");
        return Check();
    }
    std::string Check() {
        Release release;
        std::string error;
        if (!ReadRelease(dir, &release, &error)) return error;
        for (const ReleaseImage& image : release.images)
            if (!CheckReleaseImage(release, image, &error)) return error;
        return "";
    }
    std::string dir;
};

TEST_F(ReleaseTest, Sha256IsWhatSha256sumSays) {
    std::string bytes;
    for (int i = 0; i < 100000; ++i) bytes += static_cast<char>(i * 7 + i / 251);
    Write(dir + "/bytes", bytes);
    EXPECT_EQ(Digest("bytes"), Sha256Hex(bytes.data(), bytes.size()));
    Write(dir + "/empty", "");
    EXPECT_EQ(Digest("empty"), Sha256Hex("", 0));
}

TEST_F(ReleaseTest, PicksTheImageForTheDeviceAndSaysWhatFitsWhenNone) {
    std::string jade = Entry("zq3", "jade.hex", ",\"variant\":\"JADE\",\"version\":31,\"revision\":3");
    std::string t62 = Entry("t62", "t62.hex", ",\"revisions\":[\"B\",\"C\"]");
    ASSERT_EQ("", Refusal(jade + "," + t62));
    chmod(dir.c_str(), 0555);  // a read-only release
    Release release;
    std::string why;
    ASSERT_EQ(1, ReadRelease(dir + "/release.json", &release, &why)) << why;
    EXPECT_EQ("Keyer", release.name);
    const ReleaseImage* image = PickReleaseImage(release, "zq3", "JADE", &why);
    ASSERT_NE(nullptr, image);
    EXPECT_EQ("jade.hex", image->file);
    EXPECT_EQ(31, image->version);
    EXPECT_EQ(nullptr, PickReleaseImage(release, "zq3", "AMBER", &why));
    EXPECT_NE(std::string::npos, why.find("the release has JADE; the device is AMBER")) << why;
    EXPECT_NE(nullptr, PickReleaseImage(release, "t62", "C", &why));
    EXPECT_EQ(nullptr, PickReleaseImage(release, "t62", "A", &why));
    EXPECT_NE(std::string::npos, why.find("revision B, C; the device is hardware revision A")) << why;
    EXPECT_EQ(nullptr, PickReleaseImage(release, "psoc", "", &why));
    EXPECT_NE(std::string::npos, why.find("has no psoc image")) << why;
}

// Every release that must be refused, by the message that names its entry.
TEST_F(ReleaseTest, RefusesABadReleaseNamingTheEntry) {
    Write(dir + "/release.json", "{\"format\":1,\"name\":");
    EXPECT_EQ("release.json is not JSON", Check());

    std::string outside = Shell("mktemp /tmp/release_outsideXXXXXX");
    outside.pop_back();
    Write(outside, ":00000001FF\n");
    symlink(outside.c_str(), (dir + "/link.hex").c_str());
    std::string sum = Digest("t62.hex");
    EXPECT_EQ("release.json: psoc image ../t62.hex: the file must be inside the release's folder (no absolute path, "
              "no \"..\")",
              Refusal(Entry("psoc", "../t62.hex", "", 12, sum)));
    EXPECT_EQ("release.json: psoc image /etc/passwd: the file must be inside the release's folder (no absolute path, "
              "no \"..\")",
              Refusal(Entry("psoc", "/etc/passwd", "", 12, sum)));
    EXPECT_EQ("release.json: psoc image link.hex: the file leads out of the release's folder",
              Refusal(Entry("psoc", "link.hex")));
    std::remove(outside.c_str());

    EXPECT_EQ("release.json: t62 image jade.hex is for the same device as t62 image t62.hex: a target may be listed "
              "once per device",
              Refusal(Entry("t62", "t62.hex", ",\"revisions\":[\"A\",\"B\"]") + "," +
                      Entry("t62", "jade.hex", ",\"revisions\":[\"B\"]")));
    EXPECT_EQ("", Refusal(Entry("t62", "t62.hex", ",\"revisions\":[\"A\"]") + "," +
                          Entry("t62", "jade.hex", ",\"revisions\":[\"B\"]")));

    EXPECT_EQ("t62 image t62.hex: the file is not the one the release names: it has 12 bytes, the release names 13",
              Refusal(Entry("t62", "t62.hex", "", 13)));
    std::string other = Digest("jade.hex");
    EXPECT_EQ("t62 image t62.hex: the file is not the one the release names: its SHA-256 is " + sum +
                  ", the release names " + other,
              Refusal(Entry("t62", "t62.hex", "", 12, other)));
}

}  // namespace
