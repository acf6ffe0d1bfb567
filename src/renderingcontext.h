// EGL bound to the main window, the viewport, and the two projections: the menu's
// orthographic pixel projection and the game's perspective.
#pragma once
#include <cstdint>

// False when EGL gives no display, configuration, surface or context; then
// renderingContextFailure says which, for the player.
bool initRenderingContext(void* window);
const char* renderingContextFailure();
void setPerspective(float fieldOfView, float aspect, float zNear, float zFar);
// The race's perspective for a drawable of width x height pixels: the same vertical field
// of view, near and far planes, and the drawable's own aspect, so a wide screen shows more
// of the arena to the sides instead of a squeezed picture. Fixed point throughout.
void setDrawablePerspective(int width, int height);
// The half-width of the near plane that setDrawablePerspective gives, in 16.16.
int32_t drawableNearHalfWidth(int width, int height);
// Orthographic: left 0, right width, bottom 0, top height, near -10, far 10.
void setMenuProjection(int width, int height);
