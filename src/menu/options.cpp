#include "menu/options.h"

#include <algorithm>
#include <vector>

#include "platform/os.h"

namespace {

void putInt32(uint8_t* out, int32_t value) {
    const uint32_t bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out[i] = static_cast<uint8_t>(bits >> (8 * i));
}

int32_t getInt32(const uint8_t* in) {
    uint32_t bits = 0;
    for (int i = 0; i < 4; ++i) bits |= static_cast<uint32_t>(in[i]) << (8 * i);
    return static_cast<int32_t>(bits);
}

} // namespace

void encodeOptions(const OptionsRecord& record, uint8_t (&bytes)[OPTIONS_FILE_SIZE]) {
    bytes[0] = record.soundOn;
    putInt32(bytes + 1, record.detail);
    putInt32(bytes + 5, record.opponentChoice);
    putInt32(bytes + 9, record.speed);
}

void decodeOptions(const uint8_t* bytes, size_t size, OptionsRecord& record) {
    if (size >= 1) record.soundOn = bytes[0];
    if (size >= 5) record.detail = getInt32(bytes + 1);
    if (size >= 9) record.opponentChoice = getInt32(bytes + 5);
    if (size >= 13) record.speed = getInt32(bytes + 9);
}

void clampOptions(OptionsRecord& record) {
    record.soundOn = record.soundOn ? 1 : 0;
    record.detail = std::clamp(record.detail, 0, 2);
    record.opponentChoice = std::clamp(record.opponentChoice, 0, 2);
    record.speed = std::clamp(record.speed, 0, 2);
}

bool readOptionsFile(const std::string& path, OptionsRecord& record) {
    std::vector<uint8_t> bytes;
    if (platform::os::readWholeFile(path, 1 << 20, bytes) != platform::os::ReadStatus::Ok) return false;
    decodeOptions(bytes.data(), std::min(bytes.size(), OPTIONS_FILE_SIZE), record);
    clampOptions(record);
    return true;
}

bool writeOptionsFileAtomic(const std::string& path, const OptionsRecord& record, std::string* errorText) {
    uint8_t bytes[OPTIONS_FILE_SIZE];
    encodeOptions(record, bytes);
    return platform::os::writeFileAtomic(path, bytes, sizeof bytes, errorText);
}

OptionsPaths chooseOptionsPaths(const std::string& appDirFile, const std::string& configDir, bool appDirWritable) {
    OptionsPaths paths;
    const std::string configFile = configDir.empty() ? std::string() : configDir + OPTIONS_FILE_NAME;
    if (appDirWritable || configFile.empty()) {
        paths.load = appDirFile;
        paths.fallback = configFile;
        paths.save = appDirFile;
    } else {
        paths.load = configFile;
        paths.fallback = appDirFile;
        paths.save = configFile;
        paths.saveDir = configDir;
    }
    return paths;
}

OptionsPaths optionsPathsFor(const std::string& appDir, bool portable) {
    const std::string appDirFile = appDir + OPTIONS_FILE_NAME;
    const bool appDirWritable = portable && platform::os::isWritableDirectory(appDir);
    return chooseOptionsPaths(appDirFile, platform::os::configDir(), appDirWritable);
}
