#include "camera.h"

#include <GLES/gl.h>

void Camera::lookAt(Fixed eyeX, Fixed eyeY, Fixed eyeZ, Fixed centreX, Fixed centreY, Fixed centreZ, Fixed upX,
                    Fixed upY, Fixed upZ) {
    Vec3Set(eye, eyeX, eyeY, eyeZ);
    Vec3Set(centre, centreX, centreY, centreZ);
    Vec3Set(up, upX, upY, upZ);
}

void Camera::follow(const Vec3& direction, Fixed step) {
    const Fixed dx = FixedMul(direction.x, step);
    const Fixed dz = FixedMul(direction.z, step);
    eye.x = FixedAdd(eye.x, dx);
    eye.z = FixedAdd(eye.z, dz);
    centre.x = FixedAdd(centre.x, dx);
    centre.z = FixedAdd(centre.z, dz);
}

void Camera::orbit(Fixed angle, Fixed x, Fixed y, Fixed z) {
    Vec3 d;
    Vec3Sub(eye, centre, d);
    const Fixed c = FixedCos(angle);
    const Fixed s = FixedSin(angle);
    const Fixed t = FixedSub(FIXED_ONE, c);

    // Rodrigues' rotation, x and z rows only: the game turns about the vertical axis,
    // where the height of the eye does not change.
    const Fixed xx = FixedAdd(c, FixedMul(t, FixedMul(x, x)));
    const Fixed xz = FixedAdd(FixedMul(t, FixedMul(x, z)), FixedMul(s, y));
    const Fixed xy = FixedSub(FixedMul(t, FixedMul(x, y)), FixedMul(s, z));
    const Fixed newX = FixedAdd(FixedAdd(FixedMul(xx, d.x), FixedMul(xz, d.z)), FixedMul(xy, d.y));

    const Fixed zz = FixedAdd(c, FixedMul(t, FixedMul(z, z)));
    const Fixed zx = FixedSub(FixedMul(t, FixedMul(x, z)), FixedMul(s, y));
    const Fixed zy = FixedAdd(FixedMul(t, FixedMul(y, z)), FixedMul(s, x));
    const Fixed newZ = FixedAdd(FixedAdd(FixedMul(zz, d.z), FixedMul(zx, d.x)), FixedMul(zy, d.y));

    eye.x = FixedAdd(centre.x, newX);
    eye.z = FixedAdd(centre.z, newZ);
}

void Camera::update() {}

void Camera::apply() {
    Vec3 f, s, u;
    Vec3Sub(centre, eye, f);
    Vec3Normalize(f);
    Vec3Cross(f, up, s);
    Vec3Normalize(s);
    // The six-step square root leaves f short of unit length for far eyes; u inherits
    // that and is deliberately not normalised again.
    Vec3Cross(s, f, u);

    const Matrix4 view = {{s.x, u.x, FixedNeg(f.x), 0,
                           s.y, u.y, FixedNeg(f.y), 0,
                           s.z, u.z, FixedNeg(f.z), 0,
                           0, 0, 0, FIXED_ONE}};
    glMultMatrixx(view.m);
    glTranslatex(FixedNeg(eye.x), FixedNeg(eye.y), FixedNeg(eye.z));
    frustum.update();
}
