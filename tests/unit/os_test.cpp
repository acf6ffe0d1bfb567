// What the game asks of the system: atomic saves that respect what the player made of the
// file, whole-file reads that never block and never pass their bound.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/os.h"

namespace fs = std::filesystem;
using namespace platform::os;

namespace {

class OsFiles : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/palvex-os-XXXXXX";
        dir = std::string(mkdtemp(pattern)) + "/";
    }
    void TearDown() override { fs::remove_all(dir); }
    static std::string text(const std::string& path) {
        std::ifstream in(path);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    bool save(const std::string& path, const std::string& bytes, std::string* why = nullptr) {
        return writeFileAtomic(path, bytes.data(), bytes.size(), why);
    }
    std::string dir;
};

} // namespace

TEST_F(OsFiles, SavesFollowLinksRespectReadOnlyAndCleanUpAfterKilledSaves) {
    const std::string file = dir + "options.bin";
    ASSERT_TRUE(save(file, "first"));
    EXPECT_EQ(text(file), "first");

    // A dotfile manager's link: the target is replaced in its own folder, the link stays.
    fs::create_directories(dir + "dotfiles");
    std::ofstream(dir + "dotfiles/options.bin") << "old";
    fs::remove(file);
    fs::create_symlink(dir + "dotfiles/options.bin", file);
    ASSERT_TRUE(save(file, "linked"));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(text(dir + "dotfiles/options.bin"), "linked");

    // Read-only: the save fails, says why, and nothing is replaced (root could replace it).
    ::chmod((dir + "dotfiles/options.bin").c_str(), 0444);
    std::string why;
    EXPECT_FALSE(save(file, "ignored", &why));
    EXPECT_NE(why.find("read-only"), std::string::npos) << why;
    EXPECT_EQ(text(dir + "dotfiles/options.bin"), "linked");
    EXPECT_EQ(fs::status(dir + "dotfiles/options.bin").permissions() & fs::perms::owner_write, fs::perms::none);

    // Saves killed before their rename left files of processes that no longer run; a
    // running copy's file is its own business.
    const std::string plain = dir + "plain.bin";
    std::ofstream(plain + ".tmp-999999999") << "x";
    std::ofstream(plain + ".tmp-" + std::to_string(getppid())) << "x";
    std::ofstream(plain + ".tmp-notapid") << "x";
    ASSERT_TRUE(save(plain, "new"));
    EXPECT_FALSE(fs::exists(plain + ".tmp-999999999"));
    EXPECT_TRUE(fs::exists(plain + ".tmp-" + std::to_string(getppid())));
    EXPECT_TRUE(fs::exists(plain + ".tmp-notapid"));
    // A kept mode: the player's 0600 stays 0600.
    ::chmod(plain.c_str(), 0600);
    ASSERT_TRUE(save(plain, "again"));
    EXPECT_EQ(fs::status(plain).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

// A missing file, a FIFO (refused without waiting for a writer), a folder and a link to
// /dev/zero, read into either kind of buffer.
template <class Bytes>
void expectRefusals(const std::string& dir, Bytes& bytes) {
    EXPECT_EQ(readWholeFile(dir + "none", 5, bytes), ReadStatus::Missing);
    ASSERT_EQ(::mkfifo((dir + "fifo").c_str(), 0600), 0);
    EXPECT_EQ(readWholeFile(dir + "fifo", 5, bytes), ReadStatus::NotRegular) << "opened without waiting for a writer";
    EXPECT_EQ(readWholeFile(dir, 5, bytes), ReadStatus::NotRegular);
    fs::create_symlink("/dev/zero", dir + "zero");
    EXPECT_EQ(readWholeFile(dir + "zero", 1 << 20, bytes), ReadStatus::NotRegular);
}

TEST_F(OsFiles, WholeFileReadsRefuseSpecialFilesAndStopAtTheirBound) {
    std::vector<uint8_t> bytes;
    std::ofstream(dir + "small") << "12345";
    EXPECT_EQ(readWholeFile(dir + "small", 5, bytes), ReadStatus::Ok);
    EXPECT_EQ(bytes.size(), 5u);
    EXPECT_EQ(readWholeFile(dir + "small", 4, bytes), ReadStatus::TooLarge);
    EXPECT_TRUE(bytes.empty());
    expectRefusals(dir, bytes);
    // The executable's path, whatever its length, ends in the test program's name.
    EXPECT_TRUE(executablePath().ends_with("palvex_unit_tests")) << executablePath();
}

TEST_F(OsFiles, FileBytesHoldTheWholeFileAtEverySizeAndKeepTheSameRefusals) {
    FileBytes bytes;
    const auto holds = [&](const std::string& expected) {
        return bytes.size() == expected.size() && std::memcmp(bytes.data(), expected.data(), expected.size()) == 0;
    };
    std::ofstream(dir + "small") << "12345";
    EXPECT_EQ(readWholeFile(dir + "small", 5, bytes), ReadStatus::Ok);
    EXPECT_TRUE(holds("12345"));
    // Large enough for a mapping of its own, and not a whole number of pages.
    std::string large((size_t{9} << 20) + 123, '\0');
    for (size_t i = 0; i < large.size(); ++i) large[i] = static_cast<char>(i * 7 + i / 4096);
    std::ofstream(dir + "large", std::ios::binary) << large;
    EXPECT_EQ(readWholeFile(dir + "large", large.size(), bytes), ReadStatus::Ok);
    EXPECT_TRUE(holds(large));
    FileBytes moved = std::move(bytes);
    EXPECT_TRUE(bytes.empty());
    EXPECT_EQ(moved.size(), large.size());
    EXPECT_EQ(readWholeFile(dir + "large", large.size() - 1, bytes), ReadStatus::TooLarge);
    EXPECT_TRUE(bytes.empty());
    // A /proc file says it is empty and then has more to give: the read grows its room,
    // keeps what it had and still stops at the bound.
    const std::string commandLine = text("/proc/self/cmdline");
    ASSERT_GT(commandLine.size(), 8u);
    EXPECT_EQ(readWholeFile("/proc/self/cmdline", 1 << 20, bytes), ReadStatus::Ok);
    EXPECT_TRUE(holds(commandLine));
    EXPECT_EQ(readWholeFile("/proc/self/cmdline", commandLine.size() - 1, bytes), ReadStatus::TooLarge);
    EXPECT_TRUE(bytes.empty());
    expectRefusals(dir, bytes);
}
