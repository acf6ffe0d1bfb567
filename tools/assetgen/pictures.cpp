#include "pictures.h"

#include <algorithm>
#include <cmath>
#include <tuple>

#include "random.h"

const Rgb8 panelColour = {6, 13, 28};

namespace {

Colour panel() { return rgb(panelColour.r, panelColour.g, panelColour.b); }

const Colour cyan = rgb(40, 220, 255);
const Colour deepBlue = rgb(10, 60, 160);
const Colour white = rgb(255, 255, 255);

float clamp01(float v) { return v < 0 ? 0 : (v > 1 ? 1 : v); }
float smooth(float e0, float e1, float x) {
    float t = clamp01((x - e0) / (e1 - e0));
    return t * t * (3 - 2 * t);
}

std::string font(const char* name) { return Lettering::fontPath(name); }
const char* const bold = "DejaVuSans-Bold.ttf";
const char* const boldOblique = "DejaVuSans-BoldOblique.ttf";
const char* const condensedBold = "DejaVuSansCondensed-Bold.ttf";
const char* const book = "DejaVuSans.ttf";

enum class Align { Left, Centre, Right };

struct TextStyle {
    const char* face = bold;
    int size = 12;
    Colour colour = white;
    Align align = Align::Left;
    Colour glow = cyan;
    float glowAmount = 0;  // light added around the letters
    int glowRadius = 2;
};

// Draws text with its baseline at row `baseline`; returns the inked width.
int text(Canvas& c, const std::string& s, float x, float baseline, const TextStyle& st) {
    const int pad = st.glowAmount > 0 ? st.glowRadius * 3 + 2 : 0;
    Lettering::Text t = Lettering::render(font(st.face), st.size, s, pad);
    const int inkW = t.mask.width() - 2 * pad;
    float left = x;
    if (st.align == Align::Centre) left = x - inkW * 0.5f;
    if (st.align == Align::Right) left = x - inkW;
    const int dx = static_cast<int>(std::lround(left)) - pad, dy = static_cast<int>(std::lround(baseline)) - t.baseline;
    if (st.glowAmount > 0) {
        Mask halo = t.mask;
        halo.blur(st.glowRadius, 3);
        c.addMask(halo, dx, dy, st.glow, st.glowAmount);
    }
    c.paintMask(t.mask, dx, dy, st.colour);
    return inkW;
}

// ---------------------------------------------------------------- perspective floor

struct View {
    float cx, horizon, focal, height;  // eye height over the floor, in grid units
};

void paintSky(Canvas& c, float horizon, Colour top, Colour low) {
    for (int y = 0; y < c.height(); ++y) {
        float t = clamp01(y / horizon);
        Colour col = mix(top, low, t * t);
        for (int x = 0; x < c.width(); ++x) c.set(x, y, col);
    }
}

void paintStars(Canvas& c, float horizon, int count, uint64_t seed) {
    Random r(seed);
    for (int i = 0; i < count; ++i) {
        float x = static_cast<float>(r.uniform() * c.width());
        float y = static_cast<float>(4 + r.uniform() * (horizon * 0.85 - 4));
        float b = static_cast<float>(0.15 + 0.5 * r.uniform() * r.uniform());
        c.add(static_cast<int>(x), static_cast<int>(y), rgb(180, 210, 255), b);
    }
}

// Floor below the horizon with grid lines every `spacing` units, fading into the distance.
void paintFloor(Canvas& c, const View& v, Colour ground, Colour line, float spacing, float zShift, float fog) {
    const int S = 4;
    Mask lines(c.width(), c.height());
    for (int y = static_cast<int>(v.horizon); y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) {
            float sum = 0, fogSum = 0;
            for (int sy = 0; sy < S; ++sy)
                for (int sx = 0; sx < S; ++sx) {
                    float py = y + (sy + 0.5f) / S, px = x + (sx + 0.5f) / S;
                    if (py <= v.horizon) continue;
                    float z = v.height * v.focal / (py - v.horizon);
                    float wx = (px - v.cx) * z / v.focal + spacing * 0.5f;
                    float wz = z + zShift;
                    float fx = std::fabs(wx / spacing - std::round(wx / spacing));
                    float fz = std::fabs(wz / spacing - std::round(wz / spacing));
                    float f = std::exp(-z / fog);
                    if (fx < 0.02f || fz < 0.02f) sum += f;
                    fogSum += f;
                }
            sum /= S * S;
            fogSum /= S * S;
            lines.ref(x, y) = sum;
            // The ground itself darkens towards the horizon haze.
            if (y >= v.horizon) c.set(x, y, mix(c.get(x, y), ground, clamp01(0.3f + fogSum)));
        }
    Mask halo = lines;
    halo.blur(2, 2);
    c.addMask(halo, 0, 0, line, 1.6f);
    c.addMask(lines, 0, 0, mix(line, white, 0.35f), 1.2f);
}

void paintHorizonGlow(Canvas& c, const View& v, Colour col, float strength, float spread) {
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) {
            float dy = (y + 0.5f - v.horizon) / (y < v.horizon ? spread : spread * 0.6f);
            float dx = (x + 0.5f - v.cx) / (c.width() * 0.55f);
            float g = std::exp(-dy * dy) * (0.45f + 0.55f * std::exp(-dx * dx));
            c.add(x, y, col, strength * g);
        }
    // A thin bright rim where floor meets sky.
    c.glowLine(0, v.horizon, static_cast<float>(c.width()), v.horizon, 2.5f, mix(col, white, 0.5f), 0.6f);
}

// A light wall of the game standing on the floor from (x0, z0) to (x1, z1).
void paintLightWall(Canvas& c, const View& v, float x0, float z0, float x1, float z1, float wallHeight, Colour col) {
    auto project = [&](float wx, float wy, float wz, float& sx, float& sy) {
        sx = v.cx + wx * v.focal / wz;
        sy = v.horizon + (v.height - wy) * v.focal / wz;
    };
    float ax, ay, bx, by, cx_, cy, dx, dy;
    project(x0, 0, z0, ax, ay);
    project(x1, 0, z1, bx, by);
    project(x1, wallHeight, z1, cx_, cy);
    project(x0, wallHeight, z0, dx, dy);
    // The ribbon is brightest along its top edge, like the game's walls.
    const int steps = 12;
    auto lerp = [](float p, float q, float t) { return p + (q - p) * t; };
    for (int k = 0; k < steps; ++k) {
        float t0 = static_cast<float>(k) / steps, t1 = static_cast<float>(k + 1) / steps;
        c.polygon({lerp(ax, dx, t0), lerp(ay, dy, t0), lerp(bx, cx_, t0), lerp(by, cy, t0), lerp(bx, cx_, t1), lerp(by, cy, t1),
                   lerp(ax, dx, t1), lerp(ay, dy, t1)},
                  mix(scale(col, 0.5f), col, t1), 0.4f + 0.45f * t1);
    }
    c.glowLine(dx, dy, cx_, cy, 6.0f, col, 0.45f);
    c.line(dx, dy, cx_, cy, 1.4f, mix(col, white, 0.65f));
    c.line(ax, ay, bx, by, 1.0f, col, 0.9f);
}

// The bright head of a wall, where its bike is.
void paintWallHead(Canvas& c, const View& v, float x, float z, float wallHeight, Colour col) {
    float sx = v.cx + x * v.focal / z, sy = v.horizon + (v.height - wallHeight * 0.5f) * v.focal / z;
    c.glowDisc(sx, sy, 9.0f, mix(col, white, 0.3f), 1.0f);
    c.disc(sx, sy, 1.6f, mix(col, white, 0.8f));
}

// Big chrome lettering with a bright rim and a blue halo.
void chromeTitle(Canvas& c, const std::string& word, int size, float cx, float baseline, const char* face) {
    const int pad = 14;
    Lettering::Text t = Lettering::render(font(face), size, word, pad);
    const int w = t.mask.width(), h = t.mask.height();
    const int dx = static_cast<int>(std::lround(cx - w * 0.5f)), dy = static_cast<int>(std::lround(baseline)) - t.baseline;

    Mask halo = t.mask;
    halo.blur(5, 3);
    c.addMask(halo, dx, dy, rgb(30, 120, 255), 1.5f);
    Mask rim = t.mask;
    rim.blur(1, 2);
    rim.grow(3.0f);
    c.paintMask(rim, dx, dy, rgb(120, 235, 255));

    // Top half: sky reflected, bright to pale cyan; a hard horizon; bottom half: deep blue
    // rising to a glowing edge.
    int inkTop = h, inkBottom = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            if (t.mask.at(x, y) > 0.5f) {
                inkTop = std::min(inkTop, y);
                inkBottom = std::max(inkBottom, y);
            }
    for (int y = 0; y < h; ++y) {
        float f = (y - inkTop) / std::max(1.0f, static_cast<float>(inkBottom - inkTop));
        Colour col;
        if (f < 0.52f)
            col = mix(rgb(255, 255, 255), rgb(150, 215, 255), smooth(0.0f, 0.52f, f));
        else
            col = mix(rgb(20, 40, 120), rgb(110, 200, 255), smooth(0.52f, 1.05f, f));
        for (int x = 0; x < w; ++x) {
            float a = t.mask.at(x, y);
            if (a > 0) c.blend(x + dx, y + dy, col, a);
        }
    }
}

void panelFrame(Canvas& c, float x0, float y0, float x1, float y1) {
    // Outside glow first, then the flat panel, then its rim line; nothing lights the inside,
    // where the pointer and the menu pictures sit.
    for (int y = 0; y < c.height(); ++y)
        for (int x = 0; x < c.width(); ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            float ddx = std::max({x0 - px, 0.0f, px - x1}), ddy = std::max({y0 - py, 0.0f, py - y1});
            float d = std::sqrt(ddx * ddx + ddy * ddy);
            if (d > 0 && d < 10) c.add(x, y, rgb(20, 140, 255), 0.35f * (1 - d / 10) * (1 - d / 10));
        }
    c.fillRect(x0, y0, x1, y1, panel());
    c.line(x0, y0, x1, y0, 1.0f, rgb(60, 200, 255));
    c.line(x0, y1, x1, y1, 1.0f, rgb(60, 200, 255));
    c.line(x0, y0, x0, y1, 1.0f, rgb(60, 200, 255));
    c.line(x1, y0, x1, y1, 1.0f, rgb(60, 200, 255));
    // Corner marks.
    const float k = 9;
    const float corners[4][4] = {{x0, y0, 1, 1}, {x1, y0, -1, 1}, {x0, y1, 1, -1}, {x1, y1, -1, -1}};
    for (const auto& [px, py, sx, sy] : corners) {
        c.line(px, py, px + sx * k, py, 2.2f, rgb(180, 245, 255));
        c.line(px, py, px, py + sy * k, 2.2f, rgb(180, 245, 255));
    }
}

// Where the menu puts things on the 240 x 292 background, in its rows (top first).
// The menu pictures cover x 56.5..184.5 and screen heights 56.9..184.9 of 294, and the
// background shows 291.8 of its rows over those 294.
constexpr float panelX0 = 12, panelX1 = 228, panelY0 = 98, panelY1 = 246;

}  // namespace

// ---------------------------------------------------------------- ground

Canvas groundTile() {
    const int n = 128;
    Canvas c(n, n, rgb(5, 10, 22));
    Random r(0x5A3D0001);
    // A faint mottling keeps large stretches of floor from looking like flat paint.
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) c.add(x, y, rgb(20, 40, 80), static_cast<float>(r.uniform() * 0.06));
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            // Distance to the tile border (the cell line, shared with the neighbour tile).
            float bx = std::min(x + 0.5f, n - x - 0.5f), by = std::min(y + 0.5f, n - y - 0.5f);
            float d = std::min(bx, by);
            float core = d < 1.0f ? 1.0f : 0.0f;
            float glow = std::exp(-(d - 0.5f) / 3.0f);
            c.add(x, y, rgb(0, 90, 170), 0.55f * glow);
            c.add(x, y, rgb(60, 230, 255), 0.9f * core);
            // Quarter lines: dimmer guides between the cell lines.
            float qx = std::fabs(std::fmod(x + 0.5f, 32.0f) - 16.0f), qy = std::fabs(std::fmod(y + 0.5f, 32.0f) - 16.0f);
            float q = std::max(qx, qy);
            if (q > 15.0f && d > 4) c.add(x, y, rgb(20, 80, 130), 0.55f);
            // Small crosses where quarter lines meet.
            if (qx > 14.9f && qy > 12.5f && d > 4) c.add(x, y, rgb(60, 160, 220), 0.2f);
            if (qy > 14.9f && qx > 12.5f && d > 4) c.add(x, y, rgb(60, 160, 220), 0.2f);
        }
    return c;
}

// ---------------------------------------------------------------- bike textures

Canvas bikeTexture(const BikeColour& bc) {
    const Colour base = rgb(bc.r, bc.g, bc.b);
    Canvas c(atlas::size, atlas::size, rgb(20, 20, 24));
    // The side block, which shows on most of the bike, is the bike colour itself.
    const float light[3] = {1.0f, 1.0f, 0.55f};
    const float tone[3] = {1.15f, 0.85f, 0.5f};  // the same for the unpainted parts
    Random r(0xB1CE0000u + static_cast<uint64_t>(bc.r * 65536 + bc.g * 256 + bc.b));

    auto zOfRow = [](const atlas::Rect& rc, int y) {
        float f = (y + 0.5f - rc.y) / rc.h;
        return atlas::paintTop + f * (atlas::paintBottom - atlas::paintTop);
    };

    for (int s = 0; s < 3; ++s) {
        // Paint: the bike colour in bands by height, with a pale accent line and dark trims.
        const atlas::Rect& p = atlas::paint[s];
        Colour lit = s == 0 ? mix(base, white, 0.25f) : scale(base, light[s]);
        for (int y = p.y; y < p.y + p.h; ++y) {
            float z = zOfRow(p, y);
            Colour col = lit;
            if (z < 2.6f) col = scale(lit, 0.35f);                          // lower trim
            else if (z < 3.15f) col = scale(lit, 0.8f);                     // lower fairing
            if (z > 3.62f && z < 3.86f) col = scale(lit, 0.22f);             // dark stripe
            if (z > 4.2f && z < 4.33f) col = mix(lit, white, 0.7f);          // accent line
            if (z > 4.62f && s == 0) col = mix(lit, white, 0.15f);          // tank top sheen
            for (int x = p.x; x < p.x + p.w; ++x) c.set(x, y, col);
        }
        // Dark parts: seat, tyres, handlebar.
        const atlas::Rect& d = atlas::dark[s];
        Colour dk = scale(rgb(40, 42, 52), tone[s]);
        for (int y = d.y; y < d.y + d.h; ++y)
            for (int x = d.x; x < d.x + d.w; ++x) c.set(x, y, scale(dk, 1.0f + static_cast<float>(r.signedUnit() * 0.06)));
        // Metal: engine and fork, with cooling fins.
        const atlas::Rect& m = atlas::metal[s];
        Colour mt = scale(rgb(150, 158, 172), tone[s]);
        for (int y = m.y; y < m.y + m.h; ++y)
            for (int x = m.x; x < m.x + m.w; ++x) {
                float fin = ((y - m.y) % 4 == 3) ? 0.55f : 1.0f;
                float sheen = 0.85f + 0.3f * std::exp(-std::pow((x - m.x - 10.0f) / 6.0f, 2.0f));
                c.set(x, y, scale(mt, fin * sheen));
            }
        c.fillRect(static_cast<float>(m.x), m.y + 11.0f, static_cast<float>(m.x + m.w), m.y + 13.0f, scale(base, tone[s]));
    }

    // Wheel side: tyre, a glowing rim in the bike colour, dark spokes and a hub.
    {
        const atlas::Rect& w = atlas::wheel;
        const float cx = w.x + w.w * 0.5f, cy = w.y + w.h * 0.5f;
        c.fillRect(static_cast<float>(w.x), static_cast<float>(w.y), static_cast<float>(w.x + w.w), static_cast<float>(w.y + w.h),
                   rgb(16, 16, 20));
        c.disc(cx, cy, 11.5f, rgb(34, 36, 44));
        c.ring(cx, cy, 11.2f, 2.0f, mix(base, white, 0.35f));
        c.ring(cx, cy, 8.0f, 1.0f, scale(base, 0.6f));
        for (int k = 0; k < 5; ++k) {
            double a = 2 * M_PI * k / 5 + 0.3;
            c.line(cx, cy, cx + 10.5f * static_cast<float>(std::cos(a)), cy + 10.5f * static_cast<float>(std::sin(a)), 2.0f,
                   rgb(90, 96, 110));
        }
        c.disc(cx, cy, 3.2f, rgb(190, 196, 210));
        c.disc(cx, cy, 1.4f, scale(base, 0.8f));
    }
    c.fillRect(atlas::headlight.x, atlas::headlight.y, atlas::headlight.x + atlas::headlight.w, atlas::headlight.y + atlas::headlight.h,
               rgb(255, 250, 215));
    c.fillRect(atlas::taillight.x, atlas::taillight.y, atlas::taillight.x + atlas::taillight.w, atlas::taillight.y + atlas::taillight.h,
               rgb(235, 25, 30));
    c.fillRect(atlas::glow.x, atlas::glow.y, atlas::glow.x + atlas::glow.w, atlas::glow.y + atlas::glow.h, mix(base, white, 0.45f));
    {
        const atlas::Rect& g = atlas::glass;
        for (int y = g.y; y < g.y + g.h; ++y)
            for (int x = g.x; x < g.x + g.w; ++x) {
                float t = static_cast<float>(y - g.y) / g.h;
                c.set(x, y, mix(rgb(70, 120, 170), rgb(12, 24, 48), t));
            }
        c.line(g.x + 6.0f, g.y + 4.0f, g.x + 12.0f, g.y + 20.0f, 2.0f, rgb(200, 230, 255), 0.6f);
    }
    // The unused corner of the atlas stays dark, like most of its neighbours.
    c.fillRect(96, 96, 128, 128, rgb(30, 32, 40));
    return c;
}

// ---------------------------------------------------------------- menu screens

namespace {

Canvas backgroundScene(bool withHint) {
    Canvas c(screenW, screenH);
    const View v{120.0f, 80.0f, 90.0f, 1.0f};
    paintSky(c, v.horizon, rgb(1, 2, 8), rgb(8, 22, 54));
    paintStars(c, v.horizon, 60, 0x57A25001);
    paintFloor(c, v, rgb(3, 7, 18), rgb(0, 110, 200), 0.5f, 0.2f, 6.0f);
    paintHorizonGlow(c, v, rgb(20, 110, 230), 0.55f, 16.0f);
    chromeTitle(c, "PALVEX", 30, 120.0f, 62.0f, boldOblique);
    panelFrame(c, panelX0, panelY0, panelX1, panelY1);
    TextStyle small;
    small.face = book;
    small.size = 8;
    small.colour = rgb(90, 150, 200);
    small.align = Align::Centre;
    if (withHint) {
        // A band of shadow keeps the grid lines from crossing the letters.
        for (int y = 252; y < 282; ++y)
            for (int x = 0; x < screenW; ++x) {
                float fy = 1.0f - std::fabs(y - 266.5f) / 15.0f, fx = 1.0f - std::fabs(x - 119.5f) / 120.0f;
                c.blend(x, y, rgb(1, 3, 10), 0.85f * smooth(0.0f, 0.5f, fy) * smooth(0.0f, 0.3f, fx));
            }
        text(c, "ARROWS  move      ENTER  select", 120.0f, 270.0f, small);
    }
    return c;
}

}  // namespace

Canvas backgroundScreen() { return backgroundScene(true); }

Canvas titleScreen() {
    Canvas c(screenW, screenH);
    const View v{120.0f, 156.0f, 110.0f, 1.0f};
    paintSky(c, v.horizon, rgb(1, 1, 6), rgb(12, 22, 60));
    paintStars(c, v.horizon, 90, 0x717E0001);
    paintFloor(c, v, rgb(3, 6, 16), rgb(0, 120, 215), 0.5f, 0.0f, 8.0f);
    paintHorizonGlow(c, v, rgb(30, 120, 255), 0.75f, 22.0f);
    // The player's wall and an opponent's, racing away from the viewer.
    // The player's wall runs away from the viewer and turns right; an opponent's comes
    // across from the right and turns away.
    const Colour yellow = rgb(255, 223, 0), orange = rgb(255, 114, 0);
    // Farthest first.
    paintLightWall(c, v, 1.25f, 6.5f, 1.25f, 14.0f, 0.25f, orange);
    paintWallHead(c, v, 1.25f, 14.0f, 0.25f, orange);
    paintLightWall(c, v, 2.6f, 6.5f, 1.25f, 6.5f, 0.25f, orange);
    paintLightWall(c, v, -0.75f, 4.0f, 0.25f, 4.0f, 0.25f, yellow);
    paintWallHead(c, v, 0.25f, 4.0f, 0.25f, yellow);
    paintLightWall(c, v, -0.75f, 1.2f, -0.75f, 4.0f, 0.25f, yellow);
    // Let the floor sink into shadow at the bottom, under the prompt.
    for (int y = 236; y < screenH; ++y)
        for (int x = 0; x < screenW; ++x) c.blend(x, y, rgb(1, 2, 8), 0.75f * smooth(236.0f, 262.0f, static_cast<float>(y)));
    chromeTitle(c, "PALVEX", 50, 120.0f, 104.0f, boldOblique);
    TextStyle sub;
    sub.face = condensedBold;
    sub.size = 10;
    sub.colour = rgb(170, 225, 255);
    sub.align = Align::Centre;
    sub.glowAmount = 0.4f;
    text(c, "L I G H T - C Y C L E   A R E N A", 120.0f, 128.0f, sub);
    TextStyle press;
    press.face = bold;
    press.size = 13;
    press.colour = rgb(255, 255, 255);
    press.align = Align::Centre;
    press.glowAmount = 0.9f;
    press.glowRadius = 3;
    press.glow = rgb(40, 160, 255);
    text(c, "press any key", 120.0f, 268.0f, press);
    return c;
}

Canvas creditsScreen() {
    Canvas c = backgroundScene(false);
    // The credits replace the menu pictures: a taller panel over the whole middle.
    panelFrame(c, 10, 82, 230, 262);
    TextStyle head;
    head.face = bold;
    head.size = 15;
    head.colour = rgb(255, 255, 255);
    head.align = Align::Centre;
    head.glowAmount = 0.8f;
    head.glowRadius = 3;
    text(c, "PALVEX", 120.0f, 106.0f, head);
    TextStyle line;
    line.face = book;
    line.size = 9;
    line.colour = rgb(150, 200, 235);
    line.align = Align::Centre;
    text(c, "a light-cycle arena race", 120.0f, 121.0f, line);
    TextStyle label = line;
    label.face = condensedBold;
    label.colour = rgb(60, 200, 255);
    text(c, "MADE WITH", 120.0f, 142.0f, label);
    TextStyle lib;
    lib.face = bold;
    lib.size = 10;
    lib.colour = rgb(235, 245, 255);
    lib.align = Align::Centre;
    const char* libs[] = {"SDL2", "SDL_mixer  \xC2\xB7  SDL_image  \xC2\xB7  SDL_ttf", "Mesa OpenGL ES / EGL", "giflib  \xC2\xB7  libvorbis",
                          "DejaVu fonts"};
    float y = 160.0f;
    for (const char* s : libs) {
        text(c, s, 120.0f, y, lib);
        y += 17.0f;
    }
    TextStyle hint = line;
    hint.colour = rgb(90, 150, 200);
    hint.size = 8;
    text(c, "press enter to return", 120.0f, 254.0f, hint);
    return c;
}

namespace {

// A menu picture is part of the panel: same flat colour, lettering lit from within.
Canvas menuPicture(const std::vector<std::pair<std::string, float>>& labels, int size, const char* face, bool leaders) {
    Canvas c(128, 128, panel());
    TextStyle st;
    st.face = face;
    st.size = size;
    st.colour = rgb(225, 245, 255);
    st.glowAmount = 0.55f;
    st.glowRadius = 2;
    st.glow = rgb(30, 150, 255);
    for (const auto& [label, centre] : labels) {
        // Capitals: put their middle on the pointer's middle row.
        Lettering::Text probe = Lettering::render(font(face), size, "H");
        float capHeight = static_cast<float>(probe.baseline);
        float baseline = centre + capHeight * 0.5f;
        int w = text(c, label, 6.0f, baseline, st);
        if (leaders) {
            for (float x = 6.0f + w + 4.0f; x < 99.0f; x += 4.0f) c.disc(x, baseline - 1.0f, 0.6f, rgb(60, 130, 190));
        } else {
            c.line(6.0f, baseline + 4.5f, 6.0f + w, baseline + 4.5f, 1.0f, rgb(30, 110, 200), 0.7f);
        }
    }
    return c;
}

}  // namespace

Canvas mainMenuPicture() {
    // Rows of the pointer's middle: the pointer is 32 high with its bottom 96, 64, 32, 0 above
    // the picture's bottom.
    return menuPicture({{"START", 16}, {"OPTIONS", 48}, {"CREDITS", 80}, {"QUIT", 112}}, 15, bold, false);
}

Canvas optionsPicture() {
    // Five rows 24 apart; the game writes the values from x 105 on, so labels end before 100.
    return menuPicture({{"OPPONENTS", 16}, {"DETAIL", 40}, {"SPEED", 64}, {"SOUND", 88}, {"BACK", 112}}, 10, bold, true);
}

Canvas pointerPicture() {
    Canvas c(32, 32, panel());
    const std::vector<float> arrow = {7, 8, 26, 16, 7, 24, 12, 16};
    Canvas glowLayer(32, 32);
    c.glowLine(10, 16, 24, 16, 7.0f, rgb(20, 120, 255), 0.6f);
    c.polygon(arrow, rgb(60, 220, 255));
    c.polygon({10, 12, 21, 16, 10, 20, 13, 16}, rgb(220, 250, 255));
    // Keep the border pixels exactly panel-coloured so the pointer's square never shows.
    for (int i = 0; i < 32; ++i) {
        c.set(i, 0, panel());
        c.set(i, 31, panel());
        c.set(0, i, panel());
        c.set(31, i, panel());
    }
    return c;
}

IconArt iconArt(int n) {
    // The 64-pixel window icon is the reference drawing: every length is a multiple of s,
    // so at 64 the pixels are exactly those of icon.gif and other sizes are redrawn rather
    // than resampled. Strokes keep at least a pixel so the small sizes still show them.
    const float s = n / 64.0f;
    IconArt art{Canvas(n, n, rgb(0, 0, 0)), Mask(n, n)};
    Canvas& c = art.picture;
    const float rim = std::max(1.5f * s, 1.0f);
    // Rounded dark tile.
    for (int y = 0; y < n; ++y)
        for (int x = 0; x < n; ++x) {
            float px = x + 0.5f, py = y + 0.5f;
            float qx = std::max(std::fabs(px - 32 * s) - 22.0f * s, 0.0f), qy = std::max(std::fabs(py - 32 * s) - 22.0f * s, 0.0f);
            float d = std::sqrt(qx * qx + qy * qy) - 8.0f * s;
            float cov = clamp01(0.5f - d);
            art.shape.ref(x, y) = cov;
            float t = py / n;
            c.blend(x, y, mix(rgb(14, 30, 70), rgb(2, 5, 16), t), cov);
            if (d > -rim && d < 0.5f) c.blend(x, y, rgb(60, 200, 255), cov * 0.8f);
        }
    // A yellow light trail along the bottom and the P riding on it.
    c.glowLine(8 * s, 50 * s, 56 * s, 50 * s, std::max(5 * s, 1.5f), rgb(255, 200, 0), 0.6f);
    c.line(8 * s, 50 * s, 54 * s, 50 * s, std::max(2.5f * s, 1.0f), rgb(255, 236, 120));
    TextStyle p;
    p.face = boldOblique;
    p.size = static_cast<int>(std::lround(44 * s));
    p.colour = rgb(255, 223, 0);
    p.align = Align::Centre;
    p.glowAmount = 0.6f;
    p.glowRadius = std::max(1, static_cast<int>(std::lround(3 * s)));
    p.glow = rgb(255, 150, 0);
    text(c, "P", 33.0f * s, 45.0f * s, p);
    return art;
}

Canvas iconPicture() { return iconArt(64).picture; }

Canvas fullScreenTexture(const Canvas& screen) {
    const int size = 512;
    const int top = size - screen.height();
    Canvas c(size, size);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x) c.set(x, y, screen.get(std::min(x, screen.width() - 1), std::max(y - top, 0)));
    return c;
}
