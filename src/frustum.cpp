#include "frustum.h"

#include <EGL/egl.h>
#include <GLES/gl.h>
#include <GLES/glext.h>

namespace {

// OES_query_matrix is an extension: its entry point comes from EGL. Without it the
// matrices stay the identity.
PFNGLQUERYMATRIXXOESPROC queryMatrixEntry() {
    static const PFNGLQUERYMATRIXXOESPROC entry =
        reinterpret_cast<PFNGLQUERYMATRIXXOESPROC>(eglGetProcAddress("glQueryMatrixxOES"));
    return entry;
}

void queryMatrix(PFNGLQUERYMATRIXXOESPROC query, Matrix4& m) {
    if (!query) return;
    GLfixed mantissa[16];
    GLint exponent[16];
    query(mantissa, exponent);
    for (int i = 0; i < 16; ++i) m.m[i] = combineMantissa(mantissa[i], exponent[i]);
}

Plane rowSum(const Matrix4& m, int row, int sign) {
    const Fixed* w = m.m + 3;
    const Fixed* r = m.m + row;
    if (sign > 0) return {FixedAdd(w[0], r[0]), FixedAdd(w[4], r[4]), FixedAdd(w[8], r[8]), FixedAdd(w[12], r[12])};
    return {FixedSub(w[0], r[0]), FixedSub(w[4], r[4]), FixedSub(w[8], r[8]), FixedSub(w[12], r[12])};
}

} // namespace

Fixed combineMantissa(Fixed mantissa, int exponent) {
    // Shifting right by 31 or more leaves only the sign.
    if (exponent <= 0) return mantissa >> (exponent < -31 ? 31 : -exponent);
    if (mantissa == 0) return 0;
    if (exponent > 31) return mantissa > 0 ? INT32_MAX : INT32_MIN;
    const int64_t value = static_cast<int64_t>(mantissa) * (static_cast<int64_t>(1) << exponent);
    if (value > INT32_MAX) return INT32_MAX;
    if (value < INT32_MIN) return INT32_MIN;
    return static_cast<Fixed>(value);
}

Frustum::Frustum() { Matrix4Identity(matrix); }

void Frustum::update() {
    const PFNGLQUERYMATRIXXOESPROC query = queryMatrixEntry();
    Matrix4 projection, modelview;
    Matrix4Identity(projection);
    Matrix4Identity(modelview);
    glMatrixMode(GL_PROJECTION);
    queryMatrix(query, projection);
    glMatrixMode(GL_MODELVIEW);
    queryMatrix(query, modelview);

    Matrix4Multiply(projection, modelview, matrix);

    planes[0] = rowSum(matrix, 0, +1); // left
    planes[1] = rowSum(matrix, 0, -1); // right
    planes[2] = rowSum(matrix, 2, +1); // near
    planes[3] = rowSum(matrix, 2, -1); // far
    planes[4] = rowSum(matrix, 1, -1); // top
    planes[5] = rowSum(matrix, 1, +1); // bottom
    for (Plane& plane : planes) PlaneNormalize(plane);
}

int Frustum::pointSide(const Plane& plane, const Vec3& point) {
    const Fixed v = FixedAdd(FixedAdd(FixedAdd(FixedMul(plane.c, point.z), FixedMul(plane.b, point.y)),
                                      FixedMul(plane.a, point.x)),
                             plane.d);
    return v < 0 ? -1 : v > 0 ? 1 : 0;
}

int32_t Frustum::classifyRect(Fixed x, Fixed z, Fixed width, Fixed depth) const {
    const Fixed right = FixedAdd(x, width);
    const Fixed back = FixedAdd(z, depth);
    const Vec3 corners[4] = {{x, 0, z}, {right, 0, z}, {x, 0, back}, {right, 0, back}};
    bool anyBehind = false;
    for (const Plane& plane : planes) {
        int behind = 0;
        for (const Vec3& corner : corners) behind += pointSide(plane, corner) < 0;
        if (behind == 4) return FrustumOutside;
        anyBehind = anyBehind || behind > 0;
    }
    return anyBehind ? FrustumIntersecting : FrustumInside;
}

bool Frustum::boxOutside(const Vec3& low, const Vec3& high) const {
    // Exact 32.32 sums: a corner far out on the floor must not wrap around into view.
    const int64_t limit = -(static_cast<int64_t>(cullMargin) << 16);
    for (const Plane& plane : planes) {
        // The corner furthest along the plane's normal is the box's best chance to be inside.
        const int64_t x = plane.a >= 0 ? high.x : low.x;
        const int64_t y = plane.b >= 0 ? high.y : low.y;
        const int64_t z = plane.c >= 0 ? high.z : low.z;
        const int64_t v = plane.a * x + plane.b * y + plane.c * z + (static_cast<int64_t>(plane.d) << 16);
        if (v < limit) return true;
    }
    return false;
}
