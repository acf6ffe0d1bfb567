#include "models.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <array>
#include <map>
#include <tuple>

const BikeColour bikeColours[4] = {{255, 223, 0}, {255, 114, 0}, {226, 0, 138}, {0, 137, 210}};

// ---------------------------------------------------------------- arena

AseScene arenaScene() {
    // 16 x 16 cells of 37.5 units; the ground picture repeats once per cell, so its
    // lines make the grid the riders steer by.
    const int cells = 16;
    const float half = 300.0f, cell = 2 * half / cells;
    Mesh floor;
    floor.name = "Floor";
    for (int j = 0; j <= cells; ++j)
        for (int i = 0; i <= cells; ++i) {
            floor.vertex({-half + i * cell, -half + j * cell, 0.0f});
            floor.texVertex({static_cast<float>(i) / cells, static_cast<float>(j) / cells});
        }
    for (int j = 0; j < cells; ++j)
        for (int i = 0; i < cells; ++i) {
            int p00 = j * (cells + 1) + i, p10 = p00 + 1, p01 = p00 + cells + 1, p11 = p01 + 1;
            // Counter-clockwise seen from above: the floor faces the sky.
            floor.faces.push_back({p00, p10, p11, p00, p10, p11});
            floor.faces.push_back({p00, p11, p01, p00, p11, p01});
        }

    AseScene scene;
    scene.sceneName = "arena.max";
    AseMaterial ground;
    ground.name = "Ground";
    ground.diffuse[0] = 0.05f;
    ground.diffuse[1] = 0.10f;
    ground.diffuse[2] = 0.20f;
    ground.bitmap = "zem";
    ground.uTiling = static_cast<float>(cells);
    ground.vTiling = static_cast<float>(cells);
    scene.materials.push_back(ground);
    scene.objects.push_back(floor);
    return scene;
}

// ---------------------------------------------------------------- bikes

namespace {

enum class Surface { Paint, Dark, Metal, Glass, Head, Tail, Glow, WheelCap };

struct WheelFrame {
    float y, z, radius;
};

using Point2 = std::pair<float, float>;  // (file Y, file Z): the bike seen from its right side

float cross2(Point2 o, Point2 a, Point2 b) { return (a.first - o.first) * (b.second - o.second) - (a.second - o.second) * (b.first - o.first); }

bool insideTriangle(Point2 p, Point2 a, Point2 b, Point2 c) {
    return cross2(a, b, p) > 0 && cross2(b, c, p) > 0 && cross2(c, a, p) > 0;
}

// Ear clipping of a simple counter-clockwise polygon; returns index triples.
std::vector<std::array<int, 3>> triangulate(const std::vector<Point2>& poly) {
    std::vector<int> left;
    for (int i = 0; i < static_cast<int>(poly.size()); ++i) left.push_back(i);
    std::vector<std::array<int, 3>> out;
    int guard = 0;
    while (left.size() > 3 && guard++ < 1000) {
        const int n = static_cast<int>(left.size());
        for (int k = 0; k < n; ++k) {
            int ia = left[(k + n - 1) % n], ib = left[k], ic = left[(k + 1) % n];
            if (cross2(poly[ia], poly[ib], poly[ic]) <= 0) continue;  // reflex corner
            bool ear = true;
            for (int j : left)
                if (j != ia && j != ib && j != ic && insideTriangle(poly[j], poly[ia], poly[ib], poly[ic])) ear = false;
            if (!ear) continue;
            out.push_back({ia, ib, ic});
            left.erase(left.begin() + k);
            break;
        }
    }
    if (left.size() == 3) out.push_back({left[0], left[1], left[2]});
    return out;
}

class BikeBuilder {
public:
    explicit BikeBuilder(Mesh& mesh) : m(mesh) {}

    // A part's triangles must enclose a positive volume; anything else is a modelling slip.
    void beginPart(const char* what) {
        partName = what;
        partStart = m.faces.size();
    }
    void endPart() {
        double v = 0;
        for (size_t i = partStart; i < m.faces.size(); ++i) {
            const Tri& f = m.faces[i];
            v += dot(m.vertices[f.a], cross(m.vertices[f.b], m.vertices[f.c])) / 6.0;
        }
        if (!(v > 0)) {
            std::fprintf(stderr, "assetgen: bike part %s faces inward (volume %f)\n", partName, v);
            std::abort();
        }
    }

    void tri(V3 a, V3 b, V3 c, Surface s, const WheelFrame* wheel = nullptr) {
        V3 n = normalized(cross(b - a, c - a));
        m.faces.push_back({vertex(a), vertex(b), vertex(c), tex(a, n, s, wheel), tex(b, n, s, wheel), tex(c, n, s, wheel)});
    }

    // A triangle of a convex part, turned to face away from the part's centre.
    void outwardTri(V3 a, V3 b, V3 c, V3 centre, Surface s, const WheelFrame* wheel = nullptr) {
        V3 n = cross(b - a, c - a);
        V3 mid = (a + b + c) * (1.0f / 3.0f);
        if (dot(n, mid - centre) < 0) std::swap(b, c);
        tri(a, b, c, s, wheel);
    }

    // A side profile (counter-clockwise in Y-Z) pulled out sideways, each corner to its own
    // half width, so parts can taper towards nose and tail.
    void extrude(const char* what, const std::vector<Point2>& profile, const std::vector<float>& halfWidth, Surface s) {
        beginPart(what);
        const int n = static_cast<int>(profile.size());
        auto right = [&](int i) { return V3{halfWidth[i], profile[i].first, profile[i].second}; };
        auto left = [&](int i) { return V3{-halfWidth[i], profile[i].first, profile[i].second}; };
        for (int i = 0; i < n; ++i) {
            int j = (i + 1) % n;
            tri(left(i), left(j), right(j), s);
            tri(left(i), right(j), right(i), s);
        }
        for (const auto& t : triangulate(profile)) {
            tri(right(t[0]), right(t[1]), right(t[2]), s);
            tri(left(t[0]), left(t[2]), left(t[1]), s);
        }
        endPart();
    }

    // A square-section bar from p0 to p1; `up` fixes how the section is turned.
    void beam(const char* what, V3 p0, V3 p1, float halfA, float halfB, V3 up, Surface s) {
        beginPart(what);
        V3 axis = normalized(p1 - p0);
        V3 e1 = normalized(cross(axis, up)) * halfA;
        V3 e2 = normalized(cross(e1, axis)) * halfB;
        V3 c[8];
        for (int k = 0; k < 8; ++k) {
            V3 base = (k & 4) ? p1 : p0;
            c[k] = base + e1 * ((k & 1) ? 1.0f : -1.0f) + e2 * ((k & 2) ? 1.0f : -1.0f);
        }
        V3 centre = (p0 + p1) * 0.5f;
        const int quads[6][4] = {{0, 1, 3, 2}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 3, 7, 6}, {0, 2, 6, 4}, {1, 3, 7, 5}};
        for (const auto& q : quads) {
            outwardTri(c[q[0]], c[q[1]], c[q[2]], centre, s);
            outwardTri(c[q[0]], c[q[2]], c[q[3]], centre, s);
        }
        endPart();
    }

    // A prism of `sides` corners around the X axis: the wheels.
    void wheel(const char* what, float y, float z, float radius, float halfWidth, int sides) {
        beginPart(what);
        WheelFrame frame{y, z, radius};
        V3 centre{0, y, z};
        std::vector<V3> r, l;
        for (int k = 0; k < sides; ++k) {
            // Start at the bottom so a corner stands exactly on the ground.
            double a = -M_PI / 2 + 2 * M_PI * k / sides;
            float cy = y + radius * static_cast<float>(std::cos(a));
            float cz = z + radius * static_cast<float>(std::sin(a));
            if (k == 0) cz = 0.0f;
            r.push_back({halfWidth, cy, cz});
            l.push_back({-halfWidth, cy, cz});
        }
        V3 hubR{halfWidth, y, z}, hubL{-halfWidth, y, z};
        for (int k = 0; k < sides; ++k) {
            int j = (k + 1) % sides;
            outwardTri(l[k], l[j], r[j], centre, Surface::Dark);
            outwardTri(l[k], r[j], r[k], centre, Surface::Dark);
            outwardTri(hubR, r[k], r[j], centre, Surface::WheelCap, &frame);
            outwardTri(hubL, l[k], l[j], centre, Surface::WheelCap, &frame);
        }
        endPart();
    }

    // A round pipe from p0 to p1 (the exhaust).
    void pipe(const char* what, V3 p0, V3 p1, float radius, int sides, Surface s) {
        beginPart(what);
        V3 axis = normalized(p1 - p0);
        V3 e1 = normalized(cross(axis, V3{1, 0, 0}));
        V3 e2 = normalized(cross(axis, e1));
        V3 centre = (p0 + p1) * 0.5f;
        std::vector<V3> a, b;
        for (int k = 0; k < sides; ++k) {
            double t = 2 * M_PI * k / sides;
            V3 off = e1 * (radius * static_cast<float>(std::cos(t))) + e2 * (radius * static_cast<float>(std::sin(t)));
            a.push_back(p0 + off);
            b.push_back(p1 + off);
        }
        for (int k = 0; k < sides; ++k) {
            int j = (k + 1) % sides;
            outwardTri(a[k], a[j], b[j], centre, s);
            outwardTri(a[k], b[j], b[k], centre, s);
            outwardTri(p0, a[k], a[j], centre, Surface::Dark);
            outwardTri(p1, b[k], b[j], centre, Surface::Glow);
        }
        endPart();
    }

private:
    int vertex(V3 p) {
        auto key = std::make_tuple(p.x, p.y, p.z);
        auto it = vertexIndex.find(key);
        if (it != vertexIndex.end()) return it->second;
        int i = m.vertex(p);
        vertexIndex[key] = i;
        return i;
    }

    int texVertex(float px, float py) {
        // Pixel position in the atlas to texture coordinates; v = 0 is the bottom row.
        UV t{px / atlas::size, 1.0f - py / atlas::size};
        auto key = std::make_pair(t.u, t.v);
        auto it = texIndex.find(key);
        if (it != texIndex.end()) return it->second;
        int i = m.texVertex(t);
        texIndex[key] = i;
        return i;
    }

    // The game draws the bikes unlit, so the light is painted in: faces turned to the sky
    // take the bright block of their surface, faces turned down the dark one.
    static int shade(V3 n) {
        float d = dot(n, normalized(V3{0.0f, 0.3f, 1.0f}));
        if (d > 0.5f) return 0;
        if (d > -0.35f) return 1;
        return 2;
    }

    int planar(const atlas::Rect& r, V3 p, float inset) {
        float fu = (p.y + 6.0f) / 12.0f;
        float fv = (atlas::paintTop - p.z) / (atlas::paintTop - atlas::paintBottom);
        fu = std::fmin(std::fmax(fu, 0.0f), 1.0f);
        fv = std::fmin(std::fmax(fv, 0.0f), 1.0f);
        return texVertex(r.x + inset + fu * (r.w - 2 * inset), r.y + inset + fv * (r.h - 2 * inset));
    }

    int flat(const atlas::Rect& r) { return texVertex(r.x + r.w * 0.5f, r.y + r.h * 0.5f); }

    int tex(V3 p, V3 n, Surface s, const WheelFrame* wheel) {
        switch (s) {
            case Surface::Paint: return planar(atlas::paint[shade(n)], p, 2.0f);
            case Surface::Dark: return planar(atlas::dark[shade(n)], p, 3.0f);
            case Surface::Metal: return planar(atlas::metal[shade(n)], p, 3.0f);
            case Surface::Glass: return planar(atlas::glass, p, 4.0f);
            case Surface::Head: return flat(atlas::headlight);
            case Surface::Tail: return flat(atlas::taillight);
            case Surface::Glow: return flat(atlas::glow);
            case Surface::WheelCap: {
                const atlas::Rect& r = atlas::wheel;
                float half = r.w * 0.5f - 1.0f;
                float dy = (p.y - wheel->y) / wheel->radius, dz = (p.z - wheel->z) / wheel->radius;
                return texVertex(r.x + r.w * 0.5f + dy * half, r.y + r.h * 0.5f - dz * half);
            }
        }
        return 0;
    }

    Mesh& m;
    const char* partName = "";
    size_t partStart = 0;
    std::map<std::tuple<float, float, float>, int> vertexIndex;
    std::map<std::pair<float, float>, int> texIndex;
};

}  // namespace

AseScene bikeScene(int index) {
    // File axes: X to the bike's right, Y forward, Z up; the game turns Y into -Z, so
    // the bike faces the way it rides at heading 0.
    Mesh bike;
    bike.name = "Moto";
    BikeBuilder b(bike);

    b.wheel("rear wheel", -3.9f, 1.6f, 1.6f, 0.45f, 14);
    b.wheel("front wheel", 3.9f, 1.6f, 1.6f, 0.45f, 14);

    // Fairing and tank in the bike's colour, narrowing to the nose.
    b.extrude("fairing",
              {{-0.6f, 3.4f}, {2.3f, 2.3f}, {3.6f, 3.45f}, {5.3f, 3.7f}, {5.6f, 4.2f}, {4.4f, 4.85f}, {2.4f, 4.65f}, {0.6f, 4.55f}, {-0.6f, 4.05f}},
              {0.75f, 0.9f, 0.85f, 0.55f, 0.45f, 0.6f, 0.8f, 0.85f, 0.75f}, Surface::Paint);
    // Engine block between the wheels.
    b.extrude("engine", {{-1.7f, 1.3f}, {1.5f, 0.9f}, {2.4f, 2.3f}, {1.0f, 3.2f}, {-1.4f, 3.3f}}, {0.7f, 0.7f, 0.65f, 0.65f, 0.7f},
              Surface::Metal);
    // Tail over the rear wheel.
    b.extrude("tail", {{-5.7f, 3.95f}, {-3.0f, 3.45f}, {-0.5f, 3.35f}, {-0.5f, 4.0f}, {-3.4f, 4.1f}, {-5.6f, 4.5f}},
              {0.35f, 0.7f, 0.75f, 0.75f, 0.7f, 0.35f}, Surface::Paint);
    // Seat.
    b.extrude("seat", {{-3.7f, 4.0f}, {-0.4f, 3.95f}, {0.5f, 4.5f}, {-0.8f, 4.45f}, {-3.2f, 4.55f}, {-3.9f, 4.4f}},
              {0.6f, 0.7f, 0.55f, 0.72f, 0.65f, 0.5f}, Surface::Dark);
    // Windscreen on the fairing.
    b.extrude("screen", {{4.5f, 4.7f}, {3.5f, 5.45f}, {3.0f, 5.4f}, {3.8f, 4.75f}}, {0.5f, 0.45f, 0.45f, 0.55f}, Surface::Glass);

    // Swingarm on both sides of the rear wheel, fork on both sides of the front wheel.
    for (float side : {-1.0f, 1.0f}) {
        b.beam("swingarm", {0.55f * side, -3.9f, 1.6f}, {0.55f * side, -1.2f, 2.0f}, 0.12f, 0.2f, {0, 0, 1}, Surface::Metal);
        b.beam("fork", {0.55f * side, 3.9f, 1.6f}, {0.5f * side, 3.0f, 4.6f}, 0.13f, 0.13f, {0, 1, 0}, Surface::Metal);
    }
    // Handlebar with its stem.
    b.beam("stem", {0.0f, 3.0f, 4.5f}, {0.0f, 2.8f, 5.05f}, 0.18f, 0.18f, {0, 1, 0}, Surface::Metal);
    b.beam("handlebar", {-1.45f, 2.7f, 5.15f}, {1.45f, 2.7f, 5.15f}, 0.14f, 0.14f, {0, 0, 1}, Surface::Dark);
    // Lamps.
    b.beam("headlight", {0.0f, 5.35f, 4.1f}, {0.0f, 5.75f, 4.1f}, 0.32f, 0.2f, {0, 0, 1}, Surface::Head);
    b.beam("taillight", {0.0f, -5.55f, 4.2f}, {0.0f, -5.85f, 4.2f}, 0.3f, 0.14f, {0, 0, 1}, Surface::Tail);
    // Exhaust along the right side, rising to the back.
    b.pipe("exhaust", {0.85f, -0.8f, 1.55f}, {0.85f, -4.8f, 2.75f}, 0.3f, 8, Surface::Metal);

    // Drawn to a 0.9-unit grid for the shape; the game wants it a tenth larger, about
    // 12.8 long and 6 high, so it holds its own beside the 20-unit walls.
    for (V3& v : bike.vertices) v = v * 1.1f;

    AseScene scene;
    char name[32];
    std::snprintf(name, sizeof name, "moto%d.max", index);
    scene.sceneName = name;
    AseMaterial paint;
    std::snprintf(name, sizeof name, "Moto%d", index);
    paint.name = name;
    const BikeColour& c = bikeColours[index - 1];
    paint.diffuse[0] = c.r / 255.0f;
    paint.diffuse[1] = c.g / 255.0f;
    paint.diffuse[2] = c.b / 255.0f;
    std::snprintf(name, sizeof name, "moto%d.gif", index);
    paint.bitmap = name;
    scene.materials.push_back(paint);
    scene.objects.push_back(bike);
    return scene;
}
