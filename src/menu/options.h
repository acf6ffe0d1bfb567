// The options file "options.bin": 13 bytes, no header, multi-byte fields signed 32-bit
// little-endian and unaligned, in the order of the Menu's first four fields.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include "menu/optionsrecord.h"


constexpr size_t OPTIONS_FILE_SIZE = 13;
constexpr const char* OPTIONS_FILE_NAME = "options.bin";

void encodeOptions(const OptionsRecord& record, uint8_t (&bytes)[OPTIONS_FILE_SIZE]);
// Reads the fields that the bytes reach in full; a field cut short keeps the value it had.
void decodeOptions(const uint8_t* bytes, size_t size, OptionsRecord& record);
// A damaged file must not hand the game values it has no words, speeds or opponents for:
// 0 to 2 for the three choices, 0 or 1 for the sound.
void clampOptions(OptionsRecord& record);

// Reads, decodes and clamps the file; false (record untouched) when it cannot be read. A
// file that is not a regular one (a FIFO, a directory) counts as missing and is never waited on.
bool readOptionsFile(const std::string& path, OptionsRecord& record);
// Writes the record so that the old file stays whole until the new one is (see
// platform::os::writeFileAtomic). False on any failure, with errorText saying why.
bool writeOptionsFileAtomic(const std::string& path, const OptionsRecord& record, std::string* errorText = nullptr);

// Where the file lives. A game in its own folder keeps it beside the executable when that
// folder can be written to; an installed game, or one whose folder cannot be written to,
// keeps it in the user's configuration directory. Loading prefers the place saving would
// use and falls back to the other, so a file shipped beside an installed game still counts
// until the player's first save.
struct OptionsPaths {
    std::string load;
    std::string fallback; // read when load does not exist; empty for none
    std::string save;
    std::string saveDir;  // created before saving when it is the configuration directory
};
OptionsPaths chooseOptionsPaths(const std::string& appDirFile, const std::string& configDir, bool appDirWritable);
// The paths for this run: the application directory, whether the game is in its own
// folder, the environment's configuration directory.
OptionsPaths optionsPathsFor(const std::string& appDir, bool portable);
