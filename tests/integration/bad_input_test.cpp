// Every data file damaged every way a player's copy could damage it, one run per pair: the
// game starts a race that uses the file, drives, leaves the race and quits through the
// menu. It must show its message where it reports one, go on racing, and end with code 0.
// The damaged options file must also survive a save that fails.
#include <random>

#include "integration/gamedir.h"

using namespace gamedir;

namespace {

enum class Damage { Missing, Empty, Truncated, RandomBytes, Absurd };

struct Row {
    std::string file;
    Damage damage;
    int variant = 0;      // which absurd content, where a file has more than one
    std::string message;  // what stderr must show; empty: no report is required
    bool silent = false;  // no error report at all may appear
};

std::string damageName(Damage damage) {
    switch (damage) {
    case Damage::Missing: return "Missing";
    case Damage::Empty: return "Empty";
    case Damage::Truncated: return "Truncated";
    case Damage::RandomBytes: return "RandomBytes";
    case Damage::Absurd: return "Absurd";
    }
    return "";
}

std::string rowName(const ::testing::TestParamInfo<Row>& info) {
    std::string name;
    for (char c : info.param.file) name += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    name += "_" + damageName(info.param.damage);
    if (info.param.variant) name += std::to_string(info.param.variant);
    return name;
}

bool endsWith(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::vector<Row> matrix() {
    std::vector<Row> rows;
    const std::vector<Damage> every = {Damage::Missing, Damage::Empty, Damage::Truncated, Damage::RandomBytes,
                                       Damage::Absurd};
    for (const char* model : {"arena.ase", "moto1.ase", "moto2.ase", "moto3.ase", "moto4.ase"}) {
        rows.push_back({model, Damage::Missing, 0, std::string("File ") + model + " does not exists"});
        rows.push_back({model, Damage::Empty, 0, ""});
        rows.push_back({model, Damage::Truncated, 0, ""});
        rows.push_back({model, Damage::RandomBytes, 0, ""});
        rows.push_back({model, Damage::Absurd, 1, "*MESH_NUMVERTEX 2000000000 in " + std::string(model) + " refused"});
        rows.push_back({model, Damage::Absurd, 2, "*MATERIAL_COUNT -5 in " + std::string(model) + " refused"});
        rows.push_back({model, Damage::Absurd, 3, ""});
    }
    // Race textures are reported under the material's bitmap name (the ground as zem).
    for (const char* picture : {"zem0.gif", "moto1.gif", "moto2.gif", "moto3.gif", "moto4.gif"}) {
        std::string shown = std::string(picture) == "zem0.gif" ? "zem" : picture;
        for (Damage d : every) rows.push_back({picture, d, 0, "Couldn't load texture: " + shown});
        rows.push_back({picture, Damage::Absurd, 2, "Couldn't load texture: " + shown});
    }
    for (const char* picture : {"backmenu.gif", "mainmenu.gif", "options.gif", "credits.gif", "pointer.gif", "start.gif"}) {
        for (Damage d : every) rows.push_back({picture, d, 0, "error while loading texture"});
        rows.push_back({picture, Damage::Absurd, 2, "error while loading texture"});
    }
    for (const char* sound : {"game_recognizer.ogg", "game_engine.ogg", "game_crash.ogg"})
        for (Damage d : every) rows.push_back({sound, d, 0, "", true});
    for (Damage d : every) rows.push_back({"options.bin", d, 0, "", true});
    rows.push_back({"options.bin", Damage::Absurd, 2, "", true});
    rows.push_back({"options.bin", Damage::Absurd, 3, "", true});
    return rows;
}

std::vector<uint8_t> randomBytes(size_t count, const std::string& seedText) {
    std::seed_seq seed(seedText.begin(), seedText.end());
    std::mt19937 generator(seed);
    std::vector<uint8_t> bytes(count);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(generator());
    return bytes;
}

// Replaces the number after every occurrence of keyword (up to the line's end) with value.
std::string replaceNumbers(std::string text, const std::string& keyword, const std::string& value) {
    size_t at = 0;
    while ((at = text.find(keyword, at)) != std::string::npos) {
        const size_t from = at + keyword.size();
        const size_t to = text.find_first_of("\r\n", from);
        text.replace(from, to - from, " " + value);
        at = from;
    }
    return text;
}

// Face corners far past every vertex array: "A: 0 B: 1 C: 2" becomes huge and negative.
std::string hugeIndices(std::string text) {
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"A:", "A: 2147483647 "}, {"B:", "B: -2147483647 "}, {"C:", "C: 1999999999 "}}) {
        size_t at = 0;
        while ((at = text.find("*MESH_FACE ", at)) != std::string::npos) {
            const size_t key = text.find(" " + from, at);
            const size_t line = text.find('\n', at);
            if (key == std::string::npos || key > line) { at = line; continue; }
            size_t number = key + 1 + from.size();
            while (number < text.size() && (text[number] == ' ' || text[number] == '\t')) ++number;
            size_t end = number;
            while (end < text.size() && (std::isdigit(static_cast<unsigned char>(text[end])) || text[end] == '-')) ++end;
            text.replace(key + 1, end - key - 1, to);
            at = key + 1;
        }
    }
    // Texture corners and material references too.
    text = replaceNumbers(text, "*MATERIAL_REF", "2147483647");
    size_t at = 0;
    while ((at = text.find("*MESH_TFACE ", at)) != std::string::npos) {
        const size_t line = text.find('\n', at);
        text.replace(at, line - at, "*MESH_TFACE 0\t2147483000\t-7\t99999999");
        at += 12;
    }
    return text;
}

// A GIF whose screen and image both claim 65535 by 65535 pixels, with a two-colour table
// and a few bytes of picture data.
std::vector<uint8_t> hugeGif() {
    std::vector<uint8_t> gif = {'G', 'I', 'F', '8', '9', 'a', 0xFF, 0xFF, 0xFF, 0xFF, 0x80, 0, 0,
                                0, 0, 0, 0xFF, 0xFF, 0xFF,                                  // colour table
                                0x2C, 0, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0x00,            // image descriptor
                                0x02, 0x02, 0x4C, 0x01, 0x00,                              // LZW data
                                0x3B};
    return gif;
}

// The Ogg headers stay, and everything after them is noise.
std::vector<uint8_t> garbageAfterHeader(const std::vector<uint8_t>& original, const std::string& seed) {
    // The first page holds the identification header; the garbage starts after it.
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
    const std::string seed = row.file + "/" + damageName(row.damage) + std::to_string(row.variant);
    switch (row.damage) {
    case Damage::Missing: ::unlink(path.c_str()); break;
    case Damage::Empty: writeBytes(path, {}); break;
    case Damage::Truncated:
        writeBytes(path, std::vector<uint8_t>(original.begin(), original.begin() + original.size() / 2));
        break;
    case Damage::RandomBytes: writeBytes(path, randomBytes(original.size(), seed)); break;
    case Damage::Absurd:
        if (endsWith(row.file, ".ase")) {
            std::string text(original.begin(), original.end());
            if (row.variant == 1) text = replaceNumbers(text, "*MESH_NUMVERTEX", "2000000000");
            if (row.variant == 2) text = replaceNumbers(text, "*MATERIAL_COUNT", "-5");
            if (row.variant == 3) text = hugeIndices(text);
            writeBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
        } else if (endsWith(row.file, ".gif")) {
            // Variant 2: a damaged GIF on which an earlier picture decoder freed a wild pointer.
            writeBytes(path, row.variant == 2 ? readBytes(std::string(PALVEX_SOURCE_DIR) +
                                                          "/tests/data/damaged-pictures/wild-free-1.gif")
                                              : hugeGif());
        } else if (endsWith(row.file, ".ogg")) {
            writeBytes(path, garbageAfterHeader(original, seed));
        } else if (row.variant == 0) {
            writeBytes(path, std::vector<uint8_t>(13, 0xFF));
        } else if (row.variant == 2) {
            // 100 MB that take no room: a hole with the valid record at its start.
            writeBytes(path, EVERYTHING);
            if (::truncate(path.c_str(), 100l * 1024 * 1024) != 0) ADD_FAILURE() << "cannot grow " << path;
        } else {
            std::vector<uint8_t> big = randomBytes(1024 * 1024, seed);
            std::copy(EVERYTHING.begin(), EVERYTHING.end(), big.begin());
            writeBytes(path, big);
        }
        break;
    }
}

// Frames of the run: the title goes at 1, the race starts at 2, the bike turns a few
// times, Escape leaves at LEAVE, and quit is selected on the two frames after.
constexpr int LEAVE = 40;

std::string raceKeys() {
    std::string keys;
    auto tap = [&](int frame, const char* key) {
        keys += std::to_string(frame) + " down " + key + "\n" + std::to_string(frame) + " up " + key + "\n";
    };
    tap(1, "enter");
    tap(2, "enter");
    for (int f = 6; f < LEAVE - 4; f += 8) {
        const char* key = (f / 8) % 2 ? "left" : "right";
        keys += std::to_string(f) + " down " + key + "\n" + std::to_string(f + 3) + " up " + key + "\n";
    }
    tap(LEAVE, "escape");
    tap(LEAVE + 1, "up");
    tap(LEAVE + 2, "enter");
    return keys;
}

size_t countLines(const std::string& text, const std::string& part) {
    size_t count = 0, at = 0;
    while ((at = text.find(part, at)) != std::string::npos) ++count, at += part.size();
    return count;
}

// The whole file in one read: the damaged options file may be 100 MB.
std::vector<uint8_t> contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) return {};
    std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

class BadInput : public ::testing::TestWithParam<Row> {};

} // namespace

TEST_P(BadInput, ReportsGoesOnAndQuitsCleanly) {
    const Row& row = GetParam();
    GameDir dir;
    writeBytes(dir.game + "options.bin", EVERYTHING);
    if (!exists(dir.game + row.file)) GTEST_SKIP() << row.file << " is not in data/";
    damage(dir, row);
    const std::vector<uint8_t> damaged = contents(dir.game + row.file);

    RunSettings settings;
    settings.frames = LEAVE + 20;
    settings.keys = raceKeys();
    settings.screenshot = false;
    if (endsWith(row.file, ".ogg")) settings.env["SDL_AUDIODRIVER"] = "dummy"; // the samples are really decoded
    const RunResult result = dir.run(settings);

    ASSERT_EQ(result.exitCode, 0) << result.errors;
    if (!row.message.empty()) {
        EXPECT_NE(result.errors.find(row.message), std::string::npos) << result.errors;
    }
    if (row.silent) {
        EXPECT_EQ(countLines(result.errors, "Error at "), 0u) << result.errors;
    }
    // Every report is one "caption: text" line, captioned with where it came from.
    EXPECT_EQ(countLines(result.errors, "Error at "), countLines(result.errors, " file: ")) << result.errors;

    ASSERT_EQ(result.trace.size(), static_cast<size_t>(LEAVE + 2)) << "quit ends the loop on its frame";
    int racing = 0;
    for (int f = 2; f < LEAVE; ++f) racing += result.trace[f - 1]["inGame"] == 1;
    EXPECT_EQ(racing, LEAVE - 2) << "the race goes on from the frame it starts to Escape";
    EXPECT_EQ(result.trace[LEAVE - 1]["inGame"], 0);
    EXPECT_EQ(result.trace.back()["item"], 3);
    EXPECT_TRUE(contents(dir.game + row.file) == damaged) << "a data file the game only reads was changed";

    if (row.file != "options.bin") return;
    // Saving over the damaged file, with every file the game writes held to 5 bytes as on a
    // full disk: the save fails and the file stays as it was. Options, Back, quit.
    RunSettings save;
    save.frames = 20;
    save.keys = "1 down enter\n1 up enter\n2 down down\n2 up down\n3 down enter\n3 up enter\n"
                "4 down up\n4 up up\n5 down enter\n5 up enter\n6 down up\n6 up up\n7 down enter\n7 up enter\n";
    save.screenshot = false;
    save.fileSizeLimit = 5;
    const RunResult limited = dir.run(save);
    EXPECT_EQ(limited.exitCode, 0) << limited.errors;
    EXPECT_TRUE(contents(dir.game + row.file) == damaged) << "the failed save touched the old file";
    if (row.damage == Damage::Missing) {
        EXPECT_FALSE(exists(dir.game + row.file)) << "a failed save left a file";
    }
}

INSTANTIATE_TEST_SUITE_P(EveryFile, BadInput, ::testing::ValuesIn(matrix()), rowName);
