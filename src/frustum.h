// The six clipping planes of the current view, read back from the GL so that culling
// always matches what is drawn, and the classification of floor rectangles against them.
#pragma once
#include "fixed.h"

enum FrustumResult : int32_t {
    FrustumInside = 0,
    FrustumOutside = 1,
    FrustumIntersecting = 2,
};

class Frustum {
public:
    Frustum();

    // Reads projection and modelview from the GL; leaves the matrix mode at modelview.
    void update();
    // -1 behind the plane, 0 on it, +1 in front.
    static int pointSide(const Plane& plane, const Vec3& point);
    // The floor rectangle x .. x + width, z .. z + depth at y = 0.
    int32_t classifyRect(Fixed x, Fixed z, Fixed width, Fixed depth) const;
    // True when the box low .. high lies wholly behind one plane by more than cullMargin,
    // so nothing in it can reach the picture. Anything nearer the view is kept.
    bool boxOutside(const Vec3& low, const Vec3& high) const;

    // The planes are read back and normalised in 16.16, a few raw units off the GL's own;
    // a box must be this far behind a plane before it is dropped.
    static constexpr Fixed cullMargin = FIXED_ONE;

    Matrix4 matrix;  // projection x modelview at the last update
    Plane planes[6] = {}; // left, right, near, far, top, bottom; inside is the positive side
};

// The GL's query hands back each element as a mantissa with a power-of-two exponent;
// this folds them into one 16.16 value, saturating where it would not fit.
Fixed combineMantissa(Fixed mantissa, int exponent);
