#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "menu/options.h"

namespace {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/palvex-options-XXXXXX";
        path = mkdtemp(pattern);
        path += '/';
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    std::string path;
};

std::vector<uint8_t> readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

std::vector<std::string> listDir(const std::string& dir) {
    std::vector<std::string> names;
    FILE* ls = popen(("ls -A '" + dir + "'").c_str(), "r");
    char line[512];
    while (ls && fgets(line, sizeof line, ls)) {
        std::string name = line;
        if (!name.empty() && name.back() == '\n') name.pop_back();
        names.push_back(name);
    }
    if (ls) pclose(ls);
    return names;
}

} // namespace

TEST(OptionsRecordBytes, EncodesTheExampleRecord) {
    // Two opponents, high detail, medium speed, sound on.
    OptionsRecord record{1, 2, 1, 1};
    uint8_t bytes[OPTIONS_FILE_SIZE];
    encodeOptions(record, bytes);
    const uint8_t expected[OPTIONS_FILE_SIZE] = {0x01, 0x02, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0, 0, 0};
    EXPECT_EQ(0, std::memcmp(bytes, expected, sizeof expected));
}

TEST(OptionsRecordBytes, DecodesLittleEndianUnalignedFields) {
    const uint8_t bytes[OPTIONS_FILE_SIZE] = {0x01, 0x04, 0x03, 0x02, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};
    OptionsRecord record;
    decodeOptions(bytes, sizeof bytes, record);
    EXPECT_EQ(record.soundOn, 1);
    EXPECT_EQ(record.detail, 0x01020304);
    EXPECT_EQ(record.opponentChoice, -1);
    EXPECT_EQ(record.speed, INT32_MIN);

    uint8_t again[OPTIONS_FILE_SIZE];
    encodeOptions(record, again);
    EXPECT_EQ(0, std::memcmp(bytes, again, sizeof bytes));
}

TEST(OptionsRecordBytes, ShortRecordLeavesUnreachedFieldsAlone) {
    const uint8_t bytes[OPTIONS_FILE_SIZE] = {0x01, 0x02, 0, 0, 0, 0x02, 0, 0, 0, 0x01, 0, 0, 0};
    OptionsRecord one{0, 0, 0, 0};
    decodeOptions(bytes, 1, one);
    EXPECT_EQ(one.soundOn, 1);
    EXPECT_EQ(one.detail, 0);
    EXPECT_EQ(one.opponentChoice, 0);
    EXPECT_EQ(one.speed, 0);

    // A field cut off in its middle keeps its value rather than taking half a number.
    OptionsRecord seven{0, 0, 0, 0};
    decodeOptions(bytes, 7, seven);
    EXPECT_EQ(seven.detail, 2);
    EXPECT_EQ(seven.opponentChoice, 0);
    OptionsRecord twelve{0, 0, 0, 0};
    decodeOptions(bytes, 12, twelve);
    EXPECT_EQ(twelve.opponentChoice, 2);
    EXPECT_EQ(twelve.speed, 0);

    OptionsRecord none{1, 2, 2, 2};
    decodeOptions(bytes, 0, none);
    EXPECT_EQ(none.soundOn, 1);
    EXPECT_EQ(none.speed, 2);
}

TEST(OptionsRecordBytes, ClampBringsDamagedValuesIntoRange) {
    OptionsRecord record{255, -5, 7, INT32_MAX};
    clampOptions(record);
    EXPECT_EQ(record.soundOn, 1);
    EXPECT_EQ(record.detail, 0);
    EXPECT_EQ(record.opponentChoice, 2);
    EXPECT_EQ(record.speed, 2);

    OptionsRecord valid{0, 1, 2, 0};
    clampOptions(valid);
    EXPECT_EQ(valid.soundOn, 0);
    EXPECT_EQ(valid.detail, 1);
    EXPECT_EQ(valid.opponentChoice, 2);
    EXPECT_EQ(valid.speed, 0);
}

TEST(OptionsFile, ReadsOneByteFileAndDamagedFile) {
    TempDir dir;
    OptionsRecord record;
    EXPECT_FALSE(readOptionsFile(dir.path + "missing.bin", record));
    EXPECT_EQ(record.soundOn, 0);

    writeBytes(dir.path + "one.bin", {0x01});
    ASSERT_TRUE(readOptionsFile(dir.path + "one.bin", record));
    EXPECT_EQ(record.soundOn, 1);
    EXPECT_EQ(record.detail, 0);
    EXPECT_EQ(record.opponentChoice, 0);
    EXPECT_EQ(record.speed, 0);

    writeBytes(dir.path + "bad.bin", {0x07, 0x09, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x03, 0, 0, 0, 0x55, 0x55});
    OptionsRecord damaged;
    ASSERT_TRUE(readOptionsFile(dir.path + "bad.bin", damaged));
    EXPECT_EQ(damaged.soundOn, 1);
    EXPECT_EQ(damaged.detail, 2);
    EXPECT_EQ(damaged.opponentChoice, 0);
    EXPECT_EQ(damaged.speed, 2);
}

TEST(OptionsFile, AtomicSaveReplacesTheFileAndLeavesNoTemporary) {
    TempDir dir;
    const std::string target = dir.path + "options.bin";
    writeBytes(target, {0x00, 0x00});
    ASSERT_TRUE(writeOptionsFileAtomic(target, OptionsRecord{1, 2, 1, 1}));
    EXPECT_EQ(readBytes(target), (std::vector<uint8_t>{1, 2, 0, 0, 0, 1, 0, 0, 0, 1, 0, 0, 0}));
    EXPECT_EQ(listDir(dir.path), std::vector<std::string>{"options.bin"});

    OptionsRecord back;
    ASSERT_TRUE(readOptionsFile(target, back));
    EXPECT_EQ(back.detail, 2);
    EXPECT_EQ(back.opponentChoice, 1);
}

TEST(OptionsFile, FailedSaveLeavesTheOldFileIntact) {
    TempDir dir;
    const std::string target = dir.path + "options.bin";
    const std::vector<uint8_t> old = {1, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
    writeBytes(target, old);

    // A file-size limit makes the write stop part-way, as a full disk would; it binds
    // root too. Done in a child so the limit does not outlive the test.
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        struct rlimit limit = {5, 5};
        setrlimit(RLIMIT_FSIZE, &limit);
        _exit(writeOptionsFileAtomic(target, OptionsRecord{0, 2, 2, 2}) ? 0 : 3);
    }
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 3) << "the save should have reported failure";
    EXPECT_EQ(readBytes(target), old);
    EXPECT_EQ(listDir(dir.path), std::vector<std::string>{"options.bin"});

    // A directory that does not exist: nothing is written anywhere.
    EXPECT_FALSE(writeOptionsFileAtomic(dir.path + "nowhere/options.bin", OptionsRecord{}));
    EXPECT_FALSE(writeOptionsFileAtomic("", OptionsRecord{}));
}

TEST(OptionsLocation, ConfigDirectoryFromEnvironment) {
    EXPECT_EQ(optionsConfigDir("/cfg", "/home/p"), "/cfg/palvex/");
    EXPECT_EQ(optionsConfigDir("/cfg/", "/home/p"), "/cfg/palvex/");
    // A relative XDG_CONFIG_HOME is not valid and is passed over.
    EXPECT_EQ(optionsConfigDir("cfg", "/home/p"), "/home/p/.config/palvex/");
    EXPECT_EQ(optionsConfigDir("", "/home/p/"), "/home/p/.config/palvex/");
    EXPECT_EQ(optionsConfigDir(nullptr, nullptr), "");
}

TEST(OptionsLocation, WritableAppDirComesFirstElseConfigDir) {
    const OptionsPaths writable = chooseOptionsPaths("/game/options.bin", "/cfg/palvex/", true);
    EXPECT_EQ(writable.load, "/game/options.bin");
    EXPECT_EQ(writable.fallback, "/cfg/palvex/options.bin");
    EXPECT_EQ(writable.save, "/game/options.bin");
    EXPECT_EQ(writable.saveDir, "");

    const OptionsPaths installed = chooseOptionsPaths("/usr/games/palvex/options.bin", "/cfg/palvex/", false);
    EXPECT_EQ(installed.load, "/cfg/palvex/options.bin");
    EXPECT_EQ(installed.fallback, "/usr/games/palvex/options.bin");
    EXPECT_EQ(installed.save, "/cfg/palvex/options.bin");
    EXPECT_EQ(installed.saveDir, "/cfg/palvex/");

    // No configuration directory known: the application directory is all there is.
    const OptionsPaths homeless = chooseOptionsPaths("/game/options.bin", "", false);
    EXPECT_EQ(homeless.load, "/game/options.bin");
    EXPECT_EQ(homeless.save, "/game/options.bin");
    EXPECT_EQ(homeless.fallback, "");
}

TEST(OptionsLocation, MakeDirectoriesCreatesParentsAndRefusesAFileInTheWay) {
    TempDir dir;
    EXPECT_TRUE(makeDirectories(dir.path + "a/b/palvex/"));
    struct stat info;
    ASSERT_EQ(stat((dir.path + "a/b/palvex").c_str(), &info), 0);
    EXPECT_TRUE(S_ISDIR(info.st_mode));
    EXPECT_TRUE(makeDirectories(dir.path + "a/b/palvex/"));

    writeBytes(dir.path + "file", {1});
    EXPECT_FALSE(makeDirectories(dir.path + "file/palvex/"));
    EXPECT_FALSE(makeDirectories(dir.path + "file"));
    EXPECT_FALSE(makeDirectories(""));
}
