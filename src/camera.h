// The viewer: eye, point looked at and up direction. Travels with the player's bike,
// swings about it on turns, and each frame becomes the GL view transformation.
#pragma once
#include "fixed.h"
#include "frustum.h"

class Camera {
public:
    Camera() = default;

    void lookAt(Fixed eyeX, Fixed eyeY, Fixed eyeZ, Fixed centreX, Fixed centreY, Fixed centreZ, Fixed upX,
                Fixed upY, Fixed upZ);
    // Moves eye and centre together along the floor.
    void follow(const Vec3& direction, Fixed step);
    // Rotates the eye about an axis through the centre; only x and z of the eye move.
    void orbit(Fixed angle, Fixed x, Fixed y, Fixed z);
    void update();
    // Multiplies the view onto the current GL matrix and refreshes the frustum.
    void apply();

    Vec3 eye{};
    Vec3 centre{};
    Vec3 up{}; // as given; never normalised here
    Frustum frustum;
};
