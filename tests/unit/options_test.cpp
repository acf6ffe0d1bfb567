// The options file: its bytes, damaged records, the atomic save and where the file lives.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

#include "menu/options.h"

using Bytes = std::vector<uint8_t>;

static bool operator==(const OptionsRecord& a, const OptionsRecord& b) {
    return a.soundOn == b.soundOn && a.detail == b.detail && a.opponentChoice == b.opponentChoice && a.speed == b.speed;
}
static std::ostream& operator<<(std::ostream& out, const OptionsRecord& r) {
    return out << "{sound " << int(r.soundOn) << " detail " << r.detail << " opponents " << r.opponentChoice
               << " speed " << r.speed << "}";
}
static bool operator==(const OptionsPaths& a, const OptionsPaths& b) {
    return a.load == b.load && a.fallback == b.fallback && a.save == b.save && a.saveDir == b.saveDir;
}
static std::ostream& operator<<(std::ostream& out, const OptionsPaths& p) {
    return out << "{load " << p.load << " fallback " << p.fallback << " save " << p.save << " dir " << p.saveDir << "}";
}

namespace {

class TempDir {
public:
    TempDir() {
        char pattern[] = "/tmp/palvex-options-XXXXXX";
        path = std::string(mkdtemp(pattern)) + '/';
    }
    ~TempDir() { std::system(("rm -rf '" + path + "'").c_str()); }
    // The names in the directory, in one line.
    std::string list() const {
        std::string names;
        FILE* ls = popen(("ls -A '" + path + "'").c_str(), "r");
        for (int c; ls && (c = std::fgetc(ls)) != EOF;) names += static_cast<char>(c);
        if (ls) pclose(ls);
        return names;
    }
    std::string path;
};

Bytes readBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void writeBytes(const std::string& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// Two opponents, high detail, medium speed, sound on.
const Bytes example = {0x01, 0x02, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0, 0, 0};

} // namespace

TEST(OptionsRecordBytes, EncodesAndDecodesLittleEndianUnalignedFields) {
    uint8_t bytes[OPTIONS_FILE_SIZE];
    encodeOptions(OptionsRecord{1, 2, 1, 1}, bytes);
    EXPECT_EQ(Bytes(bytes, bytes + sizeof bytes), example);

    const uint8_t odd[OPTIONS_FILE_SIZE] = {0x01, 0x04, 0x03, 0x02, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};
    OptionsRecord record;
    decodeOptions(odd, sizeof odd, record);
    EXPECT_EQ(record, (OptionsRecord{1, 0x01020304, -1, INT32_MIN}));
    encodeOptions(record, bytes);
    EXPECT_EQ(Bytes(bytes, bytes + sizeof bytes), Bytes(odd, odd + sizeof odd));
}

TEST(OptionsRecordBytes, ShortRecordLeavesUnreachedFieldsAlone) {
    const uint8_t bytes[OPTIONS_FILE_SIZE] = {0x01, 0x02, 0, 0, 0, 0x02, 0, 0, 0, 0x01, 0, 0, 0};
    // A field cut off in its middle keeps its value rather than taking half a number.
    const struct {
        size_t size;
        OptionsRecord before, after;
    } cases[] = {{0, {1, 2, 2, 2}, {1, 2, 2, 2}},
                 {1, {0, 0, 0, 0}, {1, 0, 0, 0}},
                 {7, {0, 0, 0, 0}, {1, 2, 0, 0}},
                 {8, {0, 0, 0, 0}, {1, 2, 0, 0}},
                 {12, {0, 0, 0, 0}, {1, 2, 2, 0}}};
    for (const auto& c : cases) {
        OptionsRecord record = c.before;
        decodeOptions(bytes, c.size, record);
        EXPECT_EQ(record, c.after) << c.size << " bytes";
    }
}

TEST(OptionsRecordBytes, ClampBringsDamagedValuesIntoRange) {
    OptionsRecord damaged{255, -5, 7, INT32_MAX};
    clampOptions(damaged);
    EXPECT_EQ(damaged, (OptionsRecord{1, 0, 2, 2}));
    OptionsRecord valid{0, 1, 2, 0};
    clampOptions(valid);
    EXPECT_EQ(valid, (OptionsRecord{0, 1, 2, 0}));
}

TEST(OptionsFile, ReadsMissingOneByteAndDamagedFiles) {
    TempDir dir;
    OptionsRecord record;
    EXPECT_FALSE(readOptionsFile(dir.path + "missing.bin", record));
    EXPECT_EQ(record, OptionsRecord{});
    writeBytes(dir.path + "one.bin", {0x01});
    ASSERT_TRUE(readOptionsFile(dir.path + "one.bin", record));
    EXPECT_EQ(record, (OptionsRecord{1, 0, 0, 0}));
    writeBytes(dir.path + "bad.bin", {0x07, 0x09, 0, 0, 0, 0xFE, 0xFF, 0xFF, 0xFF, 0x03, 0, 0, 0, 0x55, 0x55});
    ASSERT_TRUE(readOptionsFile(dir.path + "bad.bin", record));
    EXPECT_EQ(record, (OptionsRecord{1, 2, 0, 2}));
}

TEST(OptionsFile, AtomicSaveReplacesTheFileAndLeavesNoTemporary) {
    TempDir dir;
    const std::string target = dir.path + "options.bin";
    writeBytes(target, {0x00, 0x00});
    ASSERT_TRUE(writeOptionsFileAtomic(target, OptionsRecord{1, 2, 1, 1}));
    EXPECT_EQ(readBytes(target), example);
    EXPECT_EQ(dir.list(), "options.bin\n");
}

TEST(OptionsFile, FailedSaveLeavesTheOldFileIntact) {
    TempDir dir;
    const std::string target = dir.path + "options.bin";
    const Bytes old = {1, 1, 0, 0, 0, 2, 0, 0, 0, 0, 0, 0, 0};
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
    EXPECT_EQ(dir.list(), "options.bin\n");
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
    EXPECT_EQ(chooseOptionsPaths("/game/options.bin", "/cfg/palvex/", true),
              (OptionsPaths{"/game/options.bin", "/cfg/palvex/options.bin", "/game/options.bin", ""}));
    EXPECT_EQ(chooseOptionsPaths("/usr/games/palvex/options.bin", "/cfg/palvex/", false),
              (OptionsPaths{"/cfg/palvex/options.bin", "/usr/games/palvex/options.bin", "/cfg/palvex/options.bin",
                            "/cfg/palvex/"}));
    // No configuration directory known: the application directory is all there is.
    EXPECT_EQ(chooseOptionsPaths("/game/options.bin", "", false),
              (OptionsPaths{"/game/options.bin", "", "/game/options.bin", ""}));
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
