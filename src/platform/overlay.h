// Text over the picture. The device drew GDI text after the swap; here the text is
// rendered with SDL_ttf at the drawable's real resolution and composited into the back
// buffer before the swap, which gives the same visible result. Rendered strings are kept
// as textures (the score boxes change rarely); the GL state the game relies on is saved
// and restored around every box.
#pragma once
#include <memory>
#include <string>
#include "platform/types.h"

namespace platform {

class TextOverlay {
public:
    explicit TextOverlay(const std::string& fontPath);
    ~TextOverlay();
    TextOverlay(const TextOverlay&) = delete;
    TextOverlay& operator=(const TextOverlay&) = delete;

    // Where the logical screen's text stands in the drawable (view), and the game's view
    // rectangle, which the viewport returns to afterwards.
    struct Placement {
        float scale;
        int viewX, viewY, viewW, viewH;
        int drawableW, drawableH;
        int gameX, gameY, gameW, gameH;
    };
    bool hasFont() const;
    // The size of the text in logical pixels (0 x 0 without a font).
    void measure(const char* text, int& width, int& height);
    void draw(const Placement& at, int x, int y, const char* text, Rgb background, Rgb foreground);

private:
    struct Fonts;
    std::unique_ptr<Fonts> fonts;
};

} // namespace platform
