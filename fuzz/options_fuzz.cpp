// libFuzzer target for the options file. Any bytes, of any length, decoded over any
// starting record and clamped, must leave a record the menu has words for; decoding must
// read only the bytes it was given; a record that clamping accepted must survive a write
// and read back through a real file unchanged.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

#include "menu/options.h"

namespace {

bool inRange(const OptionsRecord& r) {
    return r.soundOn <= 1 && r.detail >= 0 && r.detail <= 2 && r.opponentChoice >= 0 &&
           r.opponentChoice <= 2 && r.speed >= 0 && r.speed <= 2;
}

bool same(const OptionsRecord& a, const OptionsRecord& b) {
    return a.soundOn == b.soundOn && a.detail == b.detail && a.opponentChoice == b.opponentChoice &&
           a.speed == b.speed;
}

const std::string& scratchFile() {
    static const std::string path = [] {
        char dir[] = "/tmp/palvex-options-fuzz-XXXXXX";
        const char* made = mkdtemp(dir);
        if (!made) std::abort();
        return std::string(made) + "/" + OPTIONS_FILE_NAME;
    }();
    return path;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // The first byte picks the record the bytes are decoded over, so that fields the
    // input cuts short start from values a damaged earlier read could have left.
    OptionsRecord start;
    if (size > 0) {
        start.soundOn = data[0] & 1;
        start.detail = (data[0] >> 1) % 3;
        start.opponentChoice = (data[0] >> 3) % 3;
        start.speed = (data[0] >> 5) % 3;
    }
    // A copy in a buffer of exactly the input's length: the sanitizer catches a read past it.
    uint8_t* bytes = static_cast<uint8_t*>(std::malloc(size ? size : 1));
    if (size) std::memcpy(bytes, data, size);

    OptionsRecord record = start;
    decodeOptions(bytes, size, record);
    if (size < OPTIONS_FILE_SIZE) {
        // Fields the bytes do not reach in full keep their values.
        if (size < 1 && record.soundOn != start.soundOn) std::abort();
        if (size < 5 && record.detail != start.detail) std::abort();
        if (size < 9 && record.opponentChoice != start.opponentChoice) std::abort();
        if (record.speed != start.speed) std::abort();
    }
    clampOptions(record);
    if (!inRange(record)) std::abort();
    OptionsRecord again = record;
    clampOptions(again);
    if (!same(again, record)) std::abort(); // clamping a clamped record changes nothing

    // The clamped record goes through the encoder and decoder unchanged.
    uint8_t encoded[OPTIONS_FILE_SIZE];
    encodeOptions(record, encoded);
    OptionsRecord decoded;
    decodeOptions(encoded, sizeof encoded, decoded);
    if (!same(decoded, record)) std::abort();

    // The raw bytes as a file on disk: reading it gives the same as decoding them.
    const std::string& path = scratchFile();
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        if (size) std::fwrite(bytes, 1, size, f);
        std::fclose(f);
        OptionsRecord fromFile = start;
        if (!readOptionsFile(path, fromFile)) std::abort();
        if (!same(fromFile, record)) std::abort();
        if (!writeOptionsFileAtomic(path, record)) std::abort();
        OptionsRecord back;
        if (!readOptionsFile(path, back) || !same(back, record)) std::abort();
        unlink(path.c_str());
    }
    std::free(bytes);
    return 0;
}
