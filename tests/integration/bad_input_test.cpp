// Every data file damaged every way a player's copy could be, one run per pair: the game
// races with it, leaves the race and quits through the menu. It must report where it reports,
// go on racing and end with code 0. A damaged options file must also survive a failed save.
#include <atomic>
#include <chrono>
#include <random>
#include <thread>
#include <regex>

#include "integration/gamedir.h"

using namespace gamedir;

namespace {

enum Damage { Missing, Empty, Truncated, RandomBytes, Absurd };
const char* const DAMAGE_NAMES[] = {"Missing", "Empty", "Truncated", "RandomBytes", "Absurd"};

struct Row {
    std::string file;
    Damage damage;
    int variant = 0;          // which absurd content, where a file has more than one
    std::string message = {}; // what stderr must show
};
void PrintTo(const Row& row, std::ostream* os) { *os << row.file << " " << DAMAGE_NAMES[row.damage] << row.variant; }

std::vector<Row> matrix() {
    std::vector<Row> rows;
    for (const std::string model : {"arena.ase", "moto1.ase", "moto2.ase", "moto3.ase", "moto4.ase"}) {
        rows.push_back({model, Missing, 0, "File " + model + " does not exists"});
        for (Damage d : {Empty, Truncated, RandomBytes}) rows.push_back({model, d});
        rows.push_back({model, Absurd, 1, "*MESH_NUMVERTEX 2000000000 in " + model + " refused"});
        rows.push_back({model, Absurd, 2, "*MATERIAL_COUNT -5 in " + model + " refused"});
        rows.push_back({model, Absurd, 3});
    }
    // Race textures are reported under the material's bitmap name (the ground's is zem).
    for (const std::string picture : {"zem0.gif", "moto1.gif", "moto2.gif", "moto3.gif", "moto4.gif", "backmenu.gif",
                                      "mainmenu.gif", "options.gif", "credits.gif", "pointer.gif", "start.gif"}) {
        const std::string message = picture == "zem0.gif"          ? "Couldn't load texture: zem"
                                    : picture.starts_with("moto") ? "Couldn't load texture: " + picture
                                                                  : "error while loading texture";
        for (Damage d : {Missing, Empty, Truncated, RandomBytes, Absurd}) rows.push_back({picture, d, 0, message});
        rows.push_back({picture, Absurd, 2, message});
    }
    for (const char* file : {"game_recognizer.ogg", "game_engine.ogg", "game_crash.ogg", "options.bin"})
        for (Damage d : {Missing, Empty, Truncated, RandomBytes, Absurd}) rows.push_back({file, d});
    rows.push_back({"options.bin", Absurd, 2});
    rows.push_back({"options.bin", Absurd, 3});
    return rows;
}

std::vector<uint8_t> randomBytes(size_t count, const std::string& seedText) {
    std::seed_seq seed(seedText.begin(), seedText.end());
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = uint8_t(generator());
    return bytes;
}

using Edits = std::vector<std::pair<std::string, std::string>>;

// Each line of an ASE text with every edit applied.
std::vector<uint8_t> rewrite(const std::vector<uint8_t>& original, const Edits& edits) {
    std::vector<std::pair<std::regex, std::string>> compiled;
    for (const auto& [pattern, replacement] : edits) compiled.push_back({std::regex(pattern), replacement});
    std::istringstream lines(std::string(original.begin(), original.end()));
    std::string text;
    for (std::string line; std::getline(lines, line); text += line + "\n")
        for (const auto& [pattern, replacement] : compiled) line = std::regex_replace(line, pattern, replacement);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// Sound on, top detail, three opponents, slow: every model, texture and sample is loaded.
const std::vector<uint8_t> EVERYTHING = {0x01, 0x02, 0, 0, 0, 0x02, 0, 0, 0, 0x00, 0, 0, 0};

std::vector<uint8_t> damaged(const Row& row, const std::string& path) {
    const std::vector<uint8_t> original = row.file == "options.bin" ? EVERYTHING : readBytes(path);
    const std::vector<uint8_t> noise =
        randomBytes(original.size(), row.file + "/" + DAMAGE_NAMES[row.damage] + std::to_string(row.variant));
    if (row.damage == Empty) return {};
    if (row.damage == Truncated) return {original.begin(), original.begin() + original.size() / 2};
    if (row.damage == RandomBytes) return noise;
    const Edits aseEdits[] = {{{R"((\*MESH_NUMVERTEX).*)", "$1 2000000000"}},
                              {{R"((\*MATERIAL_COUNT).*)", "$1 -5"}},
                              // corners and material references far past every array
                              {{R"((\*MESH_FACE\s.*\bA:)\s*-?\d+)", "$1 2147483647 "},
                               {R"((\*MESH_FACE\s.*\bB:)\s*-?\d+)", "$1 -2147483647 "},
                               {R"((\*MESH_FACE\s.*\bC:)\s*-?\d+)", "$1 1999999999 "},
                               {R"(\*MESH_TFACE\s.*)", "*MESH_TFACE 0\t2147483000\t-7\t99999999"},
                               {R"((\*MATERIAL_REF).*)", "$1 2147483647"}}};
    if (row.file.ends_with(".ase")) return rewrite(original, aseEdits[row.variant - 1]);
    // Variant 2 is a GIF on which an earlier decoder freed a wild pointer; the other claims
    // 65535 x 65535 pixels for screen and image, with a two-colour table and a few LZW bytes.
    if (row.file.ends_with(".gif"))
        return row.variant == 2 ? readBytes(PALVEX_SOURCE_DIR "/tests/data/damaged-pictures/wild-free-1.gif")
                                : std::vector<uint8_t>{'G',  'I',  'F', '8',  '9',  'a',  0xFF, 0xFF, 0xFF,
                                                       0xFF, 0x80, 0,   0,    0,    0,    0,    0xFF, 0xFF,
                                                       0xFF, 0x2C, 0,   0,    0,    0,    0xFF, 0xFF, 0xFF,
                                                       0xFF, 0x00, 0x02, 0x02, 0x4C, 0x01, 0x00, 0x3B};
    if (row.file.ends_with(".ogg")) { // the first page (the identification header) kept, noise after it
        size_t keep = 27 + original[26];
        for (size_t i = 0; i < original[26]; ++i) keep += original[27 + i];
        std::vector<uint8_t> bytes(original.begin(), original.begin() + std::min(keep, original.size()));
        bytes.insert(bytes.end(), noise.begin(), noise.end());
        return bytes;
    }
    if (row.variant == 0) return std::vector<uint8_t>(13, 0xFF);
    std::vector<uint8_t> bytes = randomBytes(1024 * 1024, "options.bin/Absurd3"); // valid record, 1 MB of noise after
    std::copy(EVERYTHING.begin(), EVERYTHING.end(), bytes.begin());
    return bytes;
}

// Title at 1, race from 2, a few turns, Escape at LEAVE, quit selected on the two frames after.
constexpr int LEAVE = 40;

size_t count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + part.size())) ++n;
    return n;
}

class BadInput : public ::testing::TestWithParam<Row> {};

} // namespace

TEST_P(BadInput, ReportsGoesOnAndQuitsCleanly) {
    const Row& row = GetParam();
    GameDir dir;
    const std::string path = dir.game + row.file;
    writeBytes(dir.game + "options.bin", EVERYTHING);
    if (!fs::exists(path)) GTEST_SKIP() << row.file << " is not in data/";
    if (row.damage == Missing) {
        ::unlink(path.c_str());
    } else if (row.file == "options.bin" && row.damage == Absurd && row.variant == 2) {
        // 100 MB that take no room: a hole with the valid record at its start.
        ASSERT_EQ(::truncate(path.c_str(), 100l * 1024 * 1024), 0);
    } else {
        writeBytes(path, damaged(row, path));
    }
    const std::vector<uint8_t> before = readBytes(path);

    std::string keys = tap(1, "enter") + tap(2, "enter");
    for (int f = 6; f < LEAVE - 4; f += 8) keys += hold(f, (f / 8) % 2 ? "left" : "right", 3);
    RunSettings settings{.frames = LEAVE + 20,
                         .keys = keys + tap(LEAVE, "escape") + tap(LEAVE + 1, "up") + tap(LEAVE + 2, "enter"),
                         .screenshot = false};
    if (row.file.ends_with(".ogg")) settings.env["SDL_AUDIODRIVER"] = "dummy"; // the samples are really decoded
    const RunResult result = dir.run(settings);

    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_NE(result.errors.find(row.message), std::string::npos) << result.errors;
    const bool silent = row.file.ends_with(".ogg") || row.file == "options.bin"; // no report at all
    EXPECT_TRUE(!silent || count(result.errors, "Error at ") == 0) << result.errors;
    // Every report is one "caption: text" line, captioned with where it came from.
    EXPECT_EQ(count(result.errors, "Error at "), count(result.errors, " file: ")) << result.errors;
    ASSERT_EQ(result.trace.size(), size_t(LEAVE + 2)) << "quit ends the loop on its frame";
    expectTrace(result, "2-" + std::to_string(LEAVE - 1) + " inGame=1; " + std::to_string(LEAVE) + " inGame=0; " +
                            std::to_string(LEAVE + 2) + " item=3");
    EXPECT_TRUE(readBytes(path) == before) << "a data file the game only reads was changed";

    if (row.file != "options.bin") return;
    // Options, one cycled, Back (a save), quit, with every file written held to 5 bytes as on a
    // full disk (the trace too): the save fails, the old file stays, nothing is left beside it.
    const RunResult limited = dir.run({.frames = 20,
                                       .keys = tap(1, "enter") + tap(2, "down") + tap(3, "enter") + tap(4, "enter") +
                                               tap(5, "up") + tap(6, "enter") + tap(7, "up") + tap(8, "enter"),
                                       .fileSizeLimit = 5,
                                       .screenshot = false});
    // The trace could not be written either: a failure (its message is cut to 5 bytes too).
    EXPECT_EQ(limited.exitCode, 2);
    EXPECT_TRUE(readBytes(path) == before) << "the failed save touched the old file";
    EXPECT_EQ(fs::exists(path), row.damage != Missing) << "a failed save left a file";
    for (const auto& entry : fs::directory_iterator(dir.game))
        EXPECT_TRUE(entry.path().filename().string().find("options.bin.") != 0 &&
                    entry.path().filename().string().find(".tmp") == std::string::npos) << entry.path();
}

INSTANTIATE_TEST_SUITE_P(EveryFile, BadInput, ::testing::ValuesIn(matrix()), [](const auto& info) {
    std::string name;
    for (char c : info.param.file) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    name += std::string("_") + DAMAGE_NAMES[info.param.damage];
    return info.param.variant ? name + std::to_string(info.param.variant) : name;
});

// A 2 MB moto3.ase whose every object declares two million vertices, faces and texture
// vertices: gigabytes if the counts were believed. The loader refuses the file with one
// message and the race goes on without that opponent's model.
TEST(BadInputBudget, HugeCountsInEveryObjectOfAModelAreOneMessage) {
    GameDir dir;
    const std::string path = dir.game + "moto3.ase";
    if (!fs::exists(path)) GTEST_SKIP() << "moto3.ase is not in data/";
    writeBytes(dir.game + "options.bin", EVERYTHING);
    const std::vector<uint8_t> original = readBytes(path);
    const std::string text(original.begin(), original.end());
    const size_t first = text.find("*GEOMOBJECT");
    ASSERT_NE(first, std::string::npos);
    const std::vector<uint8_t> object = rewrite(std::vector<uint8_t>(original.begin() + first, original.end()),
                                                {{R"((\*MESH_NUM(VERTEX|FACES|TVERTEX))\s.*)", "$1 2000000"}});
    std::vector<uint8_t> huge(original.begin(), original.begin() + first);
    for (int copy = 0; copy < 16; ++copy) huge.insert(huge.end(), object.begin(), object.end());
    writeBytes(path, huge);

    const RunResult result = dir.run({.frames = LEAVE + 20,
                                      .keys = tap(1, "enter") + tap(2, "enter") + hold(6, "right", 3) +
                                              tap(LEAVE, "escape") + tap(LEAVE + 1, "up") + tap(LEAVE + 2, "enter"),
                                      .screenshot = false});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(count(result.errors, "Error at "), 1u) << result.errors;
    EXPECT_NE(result.errors.find("in moto3.ase refused: the model would take more than 64 MB"), std::string::npos)
        << result.errors;
    expectTrace(result, "2-" + std::to_string(LEAVE - 1) + " inGame=1; " + std::to_string(LEAVE) + " inGame=0");
}

// Hostile media in place of the game's own: pictures whose 16-bit rows are not a multiple of
// 4 bytes (GL must read no byte past them; the sanitizer build watches), a JPEG of over a
// thousand scans, a picture 4097 pixels wide, and sounds that are a FIFO with no writer or a
// link to /dev/zero (once a hang and an allocation without end). Reported where pictures are
// reported, silent for sounds; the race goes on and the game quits with code 0.
#include <atomic>
#include <thread>

namespace {

struct HostileRow {
    std::string file;
    std::string content; // a file of tests/data/damaged-pictures, or "fifo", or "zero"
    std::string message = {};
};
void PrintTo(const HostileRow& row, std::ostream* os) { *os << row.file << " as " << row.content; }

class HostileMedia : public ::testing::TestWithParam<HostileRow> {};

} // namespace

TEST_P(HostileMedia, ReportsGoesOnAndQuitsCleanly) {
    const HostileRow& row = GetParam();
    GameDir dir;
    const std::string path = dir.game + row.file;
    writeBytes(dir.game + "options.bin", EVERYTHING);
    ::unlink(path.c_str());
    if (row.content == "fifo") ASSERT_EQ(::mkfifo(path.c_str(), 0644), 0);
    else if (row.content == "zero") ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0);
    else writeBytes(path, readBytes(PALVEX_SOURCE_DIR "/tests/data/damaged-pictures/" + row.content));

    std::string keys = tap(1, "enter") + tap(2, "enter");
    for (int f = 6; f < LEAVE - 4; f += 8) keys += hold(f, (f / 8) % 2 ? "left" : "right", 3);
    RunSettings settings{.frames = LEAVE + 20,
                         .keys = keys + tap(LEAVE, "escape") + tap(LEAVE + 1, "up") + tap(LEAVE + 2, "enter"),
                         .env = {{"SDL_AUDIODRIVER", "dummy"}},
                         .screenshot = false};
    // A game that waits for a writer on the FIFO is let go after a while, so that it fails
    // this test instead of hanging the run.
    std::atomic<bool> finished = false, waitedFor = false;
    std::thread writer;
    if (row.content == "fifo")
        writer = std::thread([&] {
            for (int tenths = 0; tenths < 300 && !finished; ++tenths) ::usleep(100000);
            const int fd = finished ? -1 : ::open(path.c_str(), O_WRONLY | O_NONBLOCK);
            if (fd >= 0) waitedFor = true, ::close(fd);
        });
    const RunResult result = dir.run(settings);
    finished = true;
    if (writer.joinable()) writer.join();
    EXPECT_FALSE(waitedFor) << "the game waited for a writer on the FIFO";

    ASSERT_EQ(result.exitCode, 0) << result.errors;
    if (row.message.empty()) EXPECT_EQ(count(result.errors, "Error at "), 0u) << result.errors;
    else EXPECT_NE(result.errors.find(row.message), std::string::npos) << result.errors;
    ASSERT_EQ(result.trace.size(), size_t(LEAVE + 2)) << "quit ends the loop on its frame";
    expectTrace(result, "2-" + std::to_string(LEAVE - 1) + " inGame=1; " + std::to_string(LEAVE) + " inGame=0");
}

INSTANTIATE_TEST_SUITE_P(Media, HostileMedia,
                         ::testing::Values(HostileRow{"moto1.gif", "odd-width-3x3.gif"},
                                           HostileRow{"start.gif", "odd-width-255x255.gif"},
                                           HostileRow{"zem0.gif", "odd-width-1x4095.gif"},
                                           HostileRow{"moto1.gif", "many-scans.jpg", "Couldn't load texture: moto1.gif"},
                                           HostileRow{"start.gif", "oversize-4097x2.gif", "error while loading texture"},
                                           HostileRow{"game_engine.ogg", "fifo"},
                                           HostileRow{"game_recognizer.ogg", "zero"}),
                         [](const auto& info) {
                             std::string name;
                             for (char c : info.param.file + "_" + info.param.content)
                                 name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             return name;
                         });

// Special files in place of data files: a FIFO with no writer (once a hang in open for
// every data file), a directory, a link to /dev/zero (once an allocation without end).
// Each is refused as the file would be if it were missing; the game never waits on it.
namespace {

struct Special {
    std::string file;
    const char* kind;
};
void PrintTo(const Special& s, std::ostream* os) { *os << s.file << " " << s.kind; }

std::vector<Special> specials() {
    std::vector<Special> rows;
    for (const char* file : {"arena.ase", "moto1.ase", "moto2.ase", "moto3.ase", "moto4.ase", "zem0.gif", "moto1.gif",
                             "moto2.gif", "moto3.gif", "moto4.gif", "backmenu.gif", "mainmenu.gif", "options.gif",
                             "credits.gif", "pointer.gif", "start.gif", "icon.gif", "game_recognizer.ogg",
                             "game_engine.ogg", "game_crash.ogg", "options.bin"})
        rows.push_back({file, "fifo"});
    for (const char* file : {"moto2.ase", "start.gif", "game_engine.ogg", "options.bin"}) {
        rows.push_back({file, "directory"});
        rows.push_back({file, "devzero"});
    }
    return rows;
}

class SpecialFile : public ::testing::TestWithParam<Special> {};

} // namespace

TEST_P(SpecialFile, IsRefusedWithoutWaiting) {
    const Special& row = GetParam();
    GameDir dir;
    const std::string path = dir.game + row.file;
    writeBytes(dir.game + "options.bin", EVERYTHING);
    ::unlink(path.c_str());
    const std::string kind = row.kind;
    if (kind == "fifo") ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    if (kind == "directory") ASSERT_EQ(::mkdir(path.c_str(), 0700), 0);
    if (kind == "devzero") ASSERT_EQ(::symlink("/dev/zero", path.c_str()), 0);
    // Should the game open the FIFO and wait, a writer comes after 30 s: the row then fails
    // instead of hanging the run.
    std::atomic<bool> done{false};
    std::thread unblock([&] {
        for (int i = 0; i < 300 && !done; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (!done && kind == "fifo") ::close(::open(path.c_str(), O_WRONLY | O_NONBLOCK));
    });
    const auto start = std::chrono::steady_clock::now();
    RunSettings settings{.frames = 30,
                         .keys = tap(1, "enter") + tap(2, "enter") + hold(5, "d") + tap(20, "down") +
                                 tap(22, "escape") + tap(24, "down") + tap(25, "enter") + tap(26, "down") +
                                 tap(27, "down") + tap(28, "down") + tap(29, "down") + tap(30, "enter"),
                         .screenshot = false};
    if (row.file.ends_with(".ogg")) settings.env["SDL_AUDIODRIVER"] = "dummy";
    const RunResult result = dir.run(settings);
    done = true;
    unblock.join();
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_LT(seconds, 25.0) << "the game waited on the " << kind;
    EXPECT_EQ(result.trace.size(), 30u);
    if (row.file.ends_with(".ase")) {
        EXPECT_NE(result.errors.find("File " + row.file + " does not exists"), std::string::npos) << result.errors;
    }
    if (row.file == "options.bin") {
        EXPECT_NE(result.errors.find("options not saved"), std::string::npos) << result.errors;
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFile, SpecialFile, ::testing::ValuesIn(specials()), [](const auto& info) {
    std::string name;
    for (char c : info.param.file + "_" + info.param.kind) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    return name;
});
