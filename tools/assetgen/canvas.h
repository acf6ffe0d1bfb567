// A float RGB picture with the few drawing operations the game's artwork needs.
// Everything is plain arithmetic on fixed inputs, so the same calls always give
// the same pixels.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Colour {
    float r = 0, g = 0, b = 0;
};

Colour rgb(int r, int g, int b);
Colour mix(Colour a, Colour b, float t);
Colour scale(Colour c, float k);

// A coverage mask: one float per pixel, 0 = nothing, 1 = fully covered.
class Mask {
public:
    Mask(int width, int height);
    int width() const { return w; }
    int height() const { return h; }
    float at(int x, int y) const;
    float& ref(int x, int y) { return values[static_cast<size_t>(y) * w + x]; }
    void blur(int radius, int passes);  // repeated box blur, close to a gaussian
    void grow(float gain);              // multiplies and clamps to 1
private:
    int w, h;
    std::vector<float> values;
};

class Canvas {
public:
    Canvas(int width, int height, Colour fill = {});
    int width() const { return w; }
    int height() const { return h; }
    Colour get(int x, int y) const;
    void set(int x, int y, Colour c);
    // Paints colour c over the pixel with the given opacity.
    void blend(int x, int y, Colour c, float alpha);
    // Adds light to the pixel (glows), clamped at white when written out.
    void add(int x, int y, Colour c, float amount);

    void fillRect(float x0, float y0, float x1, float y1, Colour c, float alpha = 1.0f);
    void verticalGradient(float y0, float y1, Colour top, Colour bottom);
    void line(float x0, float y0, float x1, float y1, float width, Colour c, float alpha = 1.0f);
    void glowLine(float x0, float y0, float x1, float y1, float radius, Colour c, float amount);
    void glowDisc(float cx, float cy, float radius, Colour c, float amount);
    void disc(float cx, float cy, float radius, Colour c, float alpha = 1.0f);
    void ring(float cx, float cy, float radius, float width, Colour c, float alpha = 1.0f);
    void polygon(const std::vector<float>& xy, Colour c, float alpha = 1.0f);
    void paintMask(const Mask& m, int dx, int dy, Colour c, float alpha = 1.0f);
    void addMask(const Mask& m, int dx, int dy, Colour c, float amount);
    void paste(const Canvas& src, int dx, int dy);

    // 8-bit RGB rows, top row first.
    std::vector<uint8_t> toRgb8() const;

private:
    int w, h;
    std::vector<Colour> px;
};

// Writes the picture as an 8-bit RGBA PNG through SDL_image, for the desktop's icons.
// `opacity` is its coverage: the canvas holds the colours as painted over black, so they
// are divided by it to give the PNG's unassociated alpha.
bool writePng(const std::string& path, const Canvas& picture, const Mask& opacity);

// Lettering through SDL_ttf with a DejaVu font of the system.
class Lettering {
public:
    static bool start();
    static void stop();
    // Renders text into a coverage mask cut to its inked rows, with `pad` empty pixels
    // around; `baseline` is the mask row the letters stand on.
    struct Text;
    static Text render(const std::string& fontFile, int pointSize, const std::string& text, int pad = 0,
                       bool hinted = true);
    static std::string fontPath(const char* name);
};

struct Lettering::Text {
    Mask mask;
    int baseline;
};
