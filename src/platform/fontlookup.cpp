#include "platform/fontlookup.h"

#include <fontconfig/fontconfig.h>

#include <cstring>

namespace platform {

namespace {

// The file of the best scalable match for the pattern; wantedFamily, when given, must be
// the match's family (fontconfig always offers something, not always what was asked).
std::string match(FcConfig* config, const char* pattern, const char* wantedFamily) {
    std::string file;
    FcPattern* asked = FcNameParse(reinterpret_cast<const FcChar8*>(pattern));
    if (!asked) return file;
    FcConfigSubstitute(config, asked, FcMatchPattern);
    FcDefaultSubstitute(asked);
    FcResult result = FcResultNoMatch;
    if (FcPattern* found = FcFontMatch(config, asked, &result)) {
        FcChar8* path = nullptr;
        FcChar8* family = nullptr;
        FcBool scalable = FcFalse;
        const bool familyOk = !wantedFamily || (FcPatternGetString(found, FC_FAMILY, 0, &family) == FcResultMatch &&
                                                std::strcmp(reinterpret_cast<char*>(family), wantedFamily) == 0);
        if (familyOk && FcPatternGetString(found, FC_FILE, 0, &path) == FcResultMatch && path && path[0] &&
            FcPatternGetBool(found, FC_SCALABLE, 0, &scalable) == FcResultMatch && scalable)
            file = reinterpret_cast<char*>(path);
        FcPatternDestroy(found);
    }
    FcPatternDestroy(asked);
    return file;
}

} // namespace

std::string findOverlayFont() {
    FcConfig* config = FcInitLoadConfigAndFonts();
    if (!config) return std::string();
    std::string file = match(config, "DejaVu Sans:bold", "DejaVu Sans");
    if (file.empty()) file = match(config, "sans-serif:bold", nullptr);
    FcConfigDestroy(config);
    return file;
}

} // namespace platform
