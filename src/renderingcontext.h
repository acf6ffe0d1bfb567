// EGL bound to the main window, the viewport, and the two projections: the menu's
// orthographic pixel projection and the game's perspective.
#pragma once

// False when EGL gives no display, configuration, surface or context; then
// renderingContextFailure says which, for the player.
bool initRenderingContext(void* window);
const char* renderingContextFailure();
void setPerspective(float fieldOfView, float aspect, float zNear, float zFar);
// Orthographic: left 0, right width, bottom 0, top height, near -10, far 10.
void setMenuProjection(int width, int height);
