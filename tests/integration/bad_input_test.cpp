// Every data file damaged every way a player's copy could damage it, one run per pair: the
// game starts a race that uses the file, drives, leaves the race and quits through the
// menu. It must show its message where it reports one, go on racing, and end with code 0.
// The damaged options file must also survive a save that fails.
#include <random>
#include <regex>

#include "integration/gamedir.h"

using namespace gamedir;

namespace {

enum Damage { Missing, Empty, Truncated, RandomBytes, Absurd };
const char* const DAMAGE_NAMES[] = {"Missing", "Empty", "Truncated", "RandomBytes", "Absurd"};

struct Row {
    std::string file;
    Damage damage;
    int variant = 0;           // which absurd content, where a file has more than one
    std::string message = {};  // what stderr must show; empty: no report is required
    bool silent = false;       // no error report at all may appear
};

void PrintTo(const Row& row, std::ostream* os) { *os << row.file << " " << DAMAGE_NAMES[row.damage] << row.variant; }

std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    std::string name;
    for (char c : info.param.file) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    name += std::string("_") + DAMAGE_NAMES[info.param.damage];
    return info.param.variant ? name + std::to_string(info.param.variant) : name;
}

std::vector<Row> matrix() {
    std::vector<Row> rows;
    for (const std::string model : {"arena.ase", "moto1.ase", "moto2.ase", "moto3.ase", "moto4.ase"}) {
        rows.push_back({model, Missing, 0, "File " + model + " does not exists"});
        for (Damage d : {Empty, Truncated, RandomBytes}) rows.push_back({model, d});
        rows.push_back({model, Absurd, 1, "*MESH_NUMVERTEX 2000000000 in " + model + " refused"});
        rows.push_back({model, Absurd, 2, "*MATERIAL_COUNT -5 in " + model + " refused"});
        rows.push_back({model, Absurd, 3});
    }
    // Race textures are reported under the material's bitmap name (the ground as zem); the
    // second absurd picture is a damaged GIF.
    for (const std::string picture : {"zem0.gif", "moto1.gif", "moto2.gif", "moto3.gif", "moto4.gif", "backmenu.gif",
                                      "mainmenu.gif", "options.gif", "credits.gif", "pointer.gif", "start.gif"}) {
        const std::string message = picture.starts_with("moto") || picture == "zem0.gif"
                                        ? "Couldn't load texture: " + (picture == "zem0.gif" ? "zem" : picture)
                                        : "error while loading texture";
        for (Damage d : {Missing, Empty, Truncated, RandomBytes, Absurd}) rows.push_back({picture, d, 0, message});
        rows.push_back({picture, Absurd, 2, message});
    }
    for (const char* file : {"game_recognizer.ogg", "game_engine.ogg", "game_crash.ogg", "options.bin"})
        for (Damage d : {Missing, Empty, Truncated, RandomBytes, Absurd}) rows.push_back({file, d, 0, "", true});
    rows.push_back({"options.bin", Absurd, 2, "", true});
    rows.push_back({"options.bin", Absurd, 3, "", true});
    return rows;
}

std::vector<uint8_t> randomBytes(size_t count, const std::string& seedText) {
    std::seed_seq seed(seedText.begin(), seedText.end());
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(generator());
    return bytes;
}

// Each line of an ASE text with every edit applied.
std::vector<uint8_t> rewrite(const std::vector<uint8_t>& original,
                             const std::vector<std::pair<std::string, std::string>>& edits) {
    std::vector<std::pair<std::regex, std::string>> compiled;
    for (const auto& [pattern, replacement] : edits) compiled.push_back({std::regex(pattern), replacement});
    std::istringstream lines(std::string(original.begin(), original.end()));
    std::string text;
    for (std::string line; std::getline(lines, line); text += line + "\n")
        for (const auto& [pattern, replacement] : compiled) line = std::regex_replace(line, pattern, replacement);
    return std::vector<uint8_t>(text.begin(), text.end());
}

// A GIF whose screen and image both claim 65535 by 65535 pixels, with a two-colour table
// and a few bytes of picture data.
const std::vector<uint8_t> HUGE_GIF = {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0,
                                       0, 0, 0, 0xFF, 0xFF, 0xFF,                       // colour table
                                       0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, // image descriptor
                                       0x02, 0x02, 0x4C, 0x01, 0x00,                   // LZW data
                                       0x3B};

// The first Ogg page (the identification header) stays, and everything after it is noise.
std::vector<uint8_t> garbageAfterHeader(const std::vector<uint8_t>& original, const std::string& seed) {
    size_t keep = 0;
    if (original.size() > 27) {
        const size_t segments = original[26];
        keep = 27 + segments;
        for (size_t i = 0; i < segments && 27 + i < original.size(); ++i) keep += original[27 + i];
    }
    std::vector<uint8_t> bytes(original.begin(), original.begin() + std::min(keep, original.size()));
    const std::vector<uint8_t> noise = randomBytes(original.size(), seed);
    bytes.insert(bytes.end(), noise.begin(), noise.end());
    return bytes;
}

// Sound on, top detail, three opponents, slow: every model, texture and sample is loaded.
const std::vector<uint8_t> EVERYTHING = {0x01, 0x02, 0, 0, 0, 0x02, 0, 0, 0, 0x00, 0, 0, 0};

void damage(const GameDir& dir, const Row& row) {
    const std::string path = dir.game + row.file;
    const std::vector<uint8_t> original = row.file == "options.bin" ? EVERYTHING : readBytes(path);
    const std::string seed = row.file + "/" + DAMAGE_NAMES[row.damage] + std::to_string(row.variant);
    std::vector<uint8_t> damaged;
    switch (row.damage) {
    case Missing: ::unlink(path.c_str()); return;
    case Empty: break;
    case Truncated: damaged.assign(original.begin(), original.begin() + original.size() / 2); break;
    case RandomBytes: damaged = randomBytes(original.size(), seed); break;
    case Absurd:
        if (row.file.ends_with(".ase") && row.variant == 1) {
            damaged = rewrite(original, {{R"((\*MESH_NUMVERTEX).*)", "$1 2000000000"}});
        } else if (row.file.ends_with(".ase") && row.variant == 2) {
            damaged = rewrite(original, {{R"((\*MATERIAL_COUNT).*)", "$1 -5"}});
        } else if (row.file.ends_with(".ase")) {
            // Face and texture corners and material references far past every array.
            damaged = rewrite(original, {{R"((\*MESH_FACE\s.*\bA:)\s*-?\d+)", "$1 2147483647 "},
                                         {R"((\*MESH_FACE\s.*\bB:)\s*-?\d+)", "$1 -2147483647 "},
                                         {R"((\*MESH_FACE\s.*\bC:)\s*-?\d+)", "$1 1999999999 "},
                                         {R"(\*MESH_TFACE\s.*)", "*MESH_TFACE 0\t2147483000\t-7\t99999999"},
                                         {R"((\*MATERIAL_REF).*)", "$1 2147483647"}});
        } else if (row.file.ends_with(".gif")) {
            // Variant 2: a damaged GIF on which an earlier picture decoder freed a wild pointer.
            damaged = row.variant == 2
                          ? readBytes(std::string(PALVEX_SOURCE_DIR) + "/tests/data/damaged-pictures/wild-free-1.gif")
                          : HUGE_GIF;
        } else if (row.file.ends_with(".ogg")) {
            damaged = garbageAfterHeader(original, seed);
        } else if (row.variant == 0) {
            damaged.assign(13, 0xFF);
        } else if (row.variant == 2) {
            // 100 MB that take no room: a hole with the valid record at its start.
            writeBytes(path, EVERYTHING);
            if (::truncate(path.c_str(), 100l * 1024 * 1024) != 0) ADD_FAILURE() << "cannot grow " << path;
            return;
        } else {
            damaged = randomBytes(1024 * 1024, seed);
            std::copy(EVERYTHING.begin(), EVERYTHING.end(), damaged.begin());
        }
        break;
    }
    writeBytes(path, damaged);
}

// Frames of the run: the title goes at 1, the race starts at 2, the bike turns a few
// times, Escape leaves at LEAVE, and quit is selected on the two frames after.
constexpr int LEAVE = 40;

std::string raceKeys() {
    std::string keys = tap(1, "enter") + tap(2, "enter");
    for (int f = 6; f < LEAVE - 4; f += 8) keys += hold(f, (f / 8) % 2 ? "left" : "right", 3);
    return keys + tap(LEAVE, "escape") + tap(LEAVE + 1, "up") + tap(LEAVE + 2, "enter");
}

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
    writeBytes(dir.game + "options.bin", EVERYTHING);
    if (!exists(dir.game + row.file)) GTEST_SKIP() << row.file << " is not in data/";
    damage(dir, row);
    const std::vector<uint8_t> damaged = readBytes(dir.game + row.file);

    RunSettings settings{.frames = LEAVE + 20, .keys = raceKeys(), .screenshot = false};
    if (row.file.ends_with(".ogg")) settings.env["SDL_AUDIODRIVER"] = "dummy"; // the samples are really decoded
    const RunResult result = dir.run(settings);

    ASSERT_EQ(result.exitCode, 0) << result.errors;
    if (!row.message.empty()) {
        EXPECT_NE(result.errors.find(row.message), std::string::npos) << result.errors;
    }
    if (row.silent) {
        EXPECT_EQ(count(result.errors, "Error at "), 0u) << result.errors;
    }
    // Every report is one "caption: text" line, captioned with where it came from.
    EXPECT_EQ(count(result.errors, "Error at "), count(result.errors, " file: ")) << result.errors;

    ASSERT_EQ(result.trace.size(), static_cast<size_t>(LEAVE + 2)) << "quit ends the loop on its frame";
    // The race goes on from the frame it starts to Escape.
    expectTrace(result, "2-" + std::to_string(LEAVE - 1) + " inGame=1; " + std::to_string(LEAVE) + " inGame=0; " +
                            std::to_string(LEAVE + 2) + " item=3");
    EXPECT_TRUE(readBytes(dir.game + row.file) == damaged) << "a data file the game only reads was changed";

    if (row.file != "options.bin") return;
    // Saving over the damaged file, with every file the game writes held to 5 bytes as on a
    // full disk: the save fails and the file stays as it was. Options, Back, quit.
    const RunResult limited = dir.run({.frames = 20,
                                       .keys = tap(1, "enter") + tap(2, "down") + tap(3, "enter") + tap(4, "up") +
                                               tap(5, "enter") + tap(6, "up") + tap(7, "enter"),
                                       .fileSizeLimit = 5,
                                       .screenshot = false});
    EXPECT_EQ(limited.exitCode, 0) << limited.errors;
    EXPECT_TRUE(readBytes(dir.game + row.file) == damaged) << "the failed save touched the old file";
    if (row.damage == Missing) {
        EXPECT_FALSE(exists(dir.game + row.file)) << "a failed save left a file";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFile, BadInput, ::testing::ValuesIn(matrix()), rowName);
