// The options record's bytes, damaged records, and where the file lives; reading, saving and
// failed saves are run end to end by the menu's integration tests.
#include <gtest/gtest.h>

#include <vector>

#include "menu/options.h"
#include "platform/os.h"

using Bytes = std::vector<uint8_t>;

static bool operator==(const OptionsRecord& a, const OptionsRecord& b) {
    return a.soundOn == b.soundOn && a.detail == b.detail && a.opponentChoice == b.opponentChoice && a.speed == b.speed;
}
static std::ostream& operator<<(std::ostream& out, const OptionsRecord& r) {
    return out << "{sound " << int(r.soundOn) << " detail " << r.detail << " opponents " << r.opponentChoice
               << " speed " << r.speed << "}";
}

TEST(OptionsRecordBytes, EncodesAndDecodesLittleEndianUnalignedFields) {
    uint8_t bytes[OPTIONS_FILE_SIZE];
    encodeOptions(OptionsRecord{1, 2, 1, 1}, bytes);
    EXPECT_EQ(Bytes(bytes, bytes + sizeof bytes), (Bytes{0x01, 0x02, 0, 0, 0, 0x01, 0, 0, 0, 0x01, 0, 0, 0}));

    const uint8_t odd[OPTIONS_FILE_SIZE] = {0x01, 0x04, 0x03, 0x02, 0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80};
    OptionsRecord record;
    decodeOptions(odd, sizeof odd, record);
    EXPECT_EQ(record, (OptionsRecord{1, 0x01020304, -1, INT32_MIN}));
    // A field cut off in its middle keeps its value rather than taking half a number.
    const struct {
        size_t size;
        OptionsRecord after;
    } cases[] = {{0, {1, 2, 2, 2}}, {1, {1, 0, 0, 0}}, {8, {1, 0x01020304, 0, 0}}, {12, {1, 0x01020304, -1, 0}}};
    for (const auto& c : cases) {
        OptionsRecord cut = c.size ? OptionsRecord{0, 0, 0, 0} : OptionsRecord{1, 2, 2, 2};
        decodeOptions(odd, c.size, cut);
        EXPECT_EQ(cut, c.after) << c.size << " bytes";
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

TEST(OptionsLocation, ConfigDirectoryFromEnvironment) {
    EXPECT_EQ(platform::os::xdgDir("/cfg/", "/home/p", ".config/"), "/cfg/palvex/");
    // A relative XDG_CONFIG_HOME is not valid and is passed over.
    EXPECT_EQ(platform::os::xdgDir("cfg", "/home/p", ".config/"), "/home/p/.config/palvex/");
    EXPECT_EQ(platform::os::xdgDir(nullptr, nullptr, ".config/"), "");
    // No configuration directory known: the application directory is all there is.
    const OptionsPaths paths = chooseOptionsPaths("/game/options.bin", "", false);
    EXPECT_EQ(paths.load, "/game/options.bin");
    EXPECT_EQ(paths.save, "/game/options.bin");
    EXPECT_EQ(paths.fallback, "");
}
