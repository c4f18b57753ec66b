#include "gl_readback.h"

#include <GL/glew.h>

#include <cstring>

std::vector<uint8_t> ReadLastFrame(int width, int height) {
    const size_t row = static_cast<size_t>(width) * 4;
    std::vector<uint8_t> bottomUp(row * static_cast<size_t>(height));
    // Mesa's software path under Xvfb gives zeros for a window's front
    // buffer, and its swap copies the back buffer out, leaving it as drawn:
    // the back buffer is where the last frame can be read.
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bottomUp.data());
    std::vector<uint8_t> topDown(bottomUp.size());
    for (int y = 0; y < height; ++y) {
        std::memcpy(&topDown[static_cast<size_t>(y) * row],
                    &bottomUp[static_cast<size_t>(height - 1 - y) * row], row);
    }
    return topDown;
}

bool IsGlObjectName(uint32_t name) {
    return glIsTexture(name) == GL_TRUE || glIsBuffer(name) == GL_TRUE;
}
