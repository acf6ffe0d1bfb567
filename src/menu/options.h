// The options file "options.bin": 13 bytes, no header, multi-byte fields signed 32-bit
// little-endian and unaligned, in the order of the Menu's first four fields.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

struct OptionsRecord {
    uint8_t soundOn = 0;
    int32_t detail = 0;
    int32_t opponentChoice = 0;
    int32_t speed = 0;
};

constexpr size_t OPTIONS_FILE_SIZE = 13;
constexpr const char* OPTIONS_FILE_NAME = "options.bin";

void encodeOptions(const OptionsRecord& record, uint8_t (&bytes)[OPTIONS_FILE_SIZE]);
// Reads the fields that the bytes reach in full; a field cut short keeps the value it had.
void decodeOptions(const uint8_t* bytes, size_t size, OptionsRecord& record);
// A damaged file must not hand the game values it has no words, speeds or opponents for:
// 0 to 2 for the three choices, 0 or 1 for the sound.
void clampOptions(OptionsRecord& record);

// Reads, decodes and clamps the file; false (record untouched) when it cannot be opened.
bool readOptionsFile(const std::string& path, OptionsRecord& record);
// Writes a temporary file beside the target, flushes it to disk and renames it over the
// target, so the old file stays whole until the new one is. False on any failure, with
// the temporary file removed and the target untouched.
bool writeOptionsFileAtomic(const std::string& path, const OptionsRecord& record);

// Where the file lives. The application directory comes first when it can be written to
// (a copy unpacked anywhere); an installed game's directory cannot, and then the user's
// configuration directory takes its place. Loading prefers the place saving would use and
// falls back to the other, so a file shipped beside an installed game still counts until
// the player's first save.
struct OptionsPaths {
    std::string load;
    std::string fallback; // read when load does not exist; empty for none
    std::string save;
    std::string saveDir;  // created before saving when it is the configuration directory
};
// "$XDG_CONFIG_HOME/palvex/" (only an absolute XDG_CONFIG_HOME counts), else
// "$HOME/.config/palvex/", else empty.
std::string optionsConfigDir(const char* xdgConfigHome, const char* home);
OptionsPaths chooseOptionsPaths(const std::string& appDirFile, const std::string& configDir, bool appDirWritable);
// The paths for this run: the application directory from fullPath, the environment's
// configuration directory.
OptionsPaths currentOptionsPaths();
// Creates the directory and its missing parents (mode 0700 for new ones).
bool makeDirectories(const std::string& dir);
