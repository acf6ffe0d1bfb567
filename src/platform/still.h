// The paused picture. A paused game renders no frames, yet its window must show the race
// as it stood, also after being uncovered or resized. Every presented frame is copied into
// a texture inside the GL (no read back to the CPU), and the copy is drawn again as often
// as the window needs it.
#pragma once
#include <GLES/gl.h>

namespace platform {

class StillPicture {
public:
    StillPicture() = default;
    ~StillPicture();
    StillPicture(const StillPicture&) = delete;
    StillPicture& operator=(const StillPicture&) = delete;

    // Copies the rectangle of the back buffer (drawable pixels, origin bottom left).
    void capture(int x, int y, int width, int height);
    // Draws the copy over the rectangle of a drawable of drawableW x drawableH, scaled when
    // the rectangle changed size; the GL state the game relies on is left as it was. False
    // when nothing has been captured yet.
    bool draw(int x, int y, int width, int height, int drawableW, int drawableH);

private:
    GLuint texture = 0;
    int textureW = 0, textureH = 0;
    int capturedW = 0, capturedH = 0;
};

} // namespace platform
