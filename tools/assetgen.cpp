// Writes every data file of the game into the directory given on the command line:
// models (ASE), pictures (GIF) and sounds (Ogg Vorbis); with a second directory, also the
// desktop's icons (PNG, in the icon theme's <size>x<size>/apps/ layout) from the drawing
// of the window icon. The output depends on nothing but this program, so two runs give
// the same bytes.
#include <SDL.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

#include "assetgen/gifwrite.h"
#include "assetgen/mesh.h"
#include "assetgen/models.h"
#include "assetgen/pictures.h"
#include "assetgen/sounds.h"

namespace {

bool writeText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "assetgen: cannot write %s\n", path.c_str());
        return false;
    }
    bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    ok = std::fclose(f) == 0 && ok;
    return ok;
}

// The sizes desktops look for in the hicolor theme, from menus and panels to launchers.
constexpr int iconSizes[] = {16, 24, 32, 48, 64, 128, 256};

bool writeIcons(const std::string& dir) {
    bool ok = true;
    for (int n : iconSizes) {
        const std::filesystem::path apps = std::filesystem::path(dir) / (std::to_string(n) + "x" + std::to_string(n)) / "apps";
        std::error_code error;
        std::filesystem::create_directories(apps, error);
        if (error) {
            std::fprintf(stderr, "assetgen: cannot create %s: %s\n", apps.c_str(), error.message().c_str());
            ok = false;
            continue;
        }
        const IconArt art = iconArt(n);
        ok &= writePng((apps / "palvex.png").string(), art.picture, art.shape);
    }
    return ok;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr, "usage: assetgen OUTPUT_DIRECTORY [ICON_DIRECTORY]\n");
        return 2;
    }
    std::string dir = argv[1];
    if (!dir.empty() && dir.back() != '/') dir += '/';
    if (!Lettering::start()) return 1;

    bool ok = true;
    ok &= writeText(dir + "arena.ase", aseText(arenaScene()));
    for (int i = 1; i <= 4; ++i) {
        const std::string n = std::to_string(i);
        ok &= writeText(dir + "moto" + n + ".ase", aseText(bikeScene(i)));
        ok &= writeGif(dir + "moto" + n + ".gif", bikeTexture(bikeColours[i - 1]),
                       {{static_cast<unsigned char>(bikeColours[i - 1].r), static_cast<unsigned char>(bikeColours[i - 1].g),
                         static_cast<unsigned char>(bikeColours[i - 1].b)}});
    }
    ok &= writeGif(dir + "zem0.gif", groundTile());
    ok &= writeGif(dir + "backmenu.gif", fullScreenTexture(backgroundScreen()), {panelColour});
    ok &= writeGif(dir + "start.gif", fullScreenTexture(titleScreen()));
    ok &= writeGif(dir + "credits.gif", fullScreenTexture(creditsScreen()), {panelColour});
    ok &= writeGif(dir + "mainmenu.gif", mainMenuPicture(), {panelColour});
    ok &= writeGif(dir + "options.gif", optionsPicture(), {panelColour});
    ok &= writeGif(dir + "pointer.gif", pointerPicture(), {panelColour});
    ok &= writeGif(dir + "icon.gif", iconPicture());

    ok &= writeOgg(dir + "game_recognizer.ogg", recognizerSound(), 0x50310001, "recognizer");
    ok &= writeOgg(dir + "game_engine.ogg", engineSound(), 0x50310002, "engine");
    ok &= writeOgg(dir + "game_crash.ogg", crashSound(), 0x50310003, "crash");
    if (argc == 3) ok &= writeIcons(argv[2]);

    Lettering::stop();
    if (!ok) {
        std::fprintf(stderr, "assetgen: some files were not written\n");
        return 1;
    }
    return 0;
}
