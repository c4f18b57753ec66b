// Texture bytes of an image's frames as GL holds them (RGBA8), read back
// with the GL context current on the calling thread. Shared by the tests
// and the soak benchmark.
#pragma once

#include <GL/glew.h>

#include <cstdint>

#include "wall/wall_image.h"

inline uint64_t TextureBytes(const WallImage& image) {
    if (!image.active) return 0;
    uint64_t bytes = 0;
    for (const FrameTexture& frame : image.frames) {
        GLint w = 0, h = 0;
        glBindTexture(GL_TEXTURE_2D, frame.texture);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
        glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
        bytes += uint64_t(w) * uint64_t(h) * 4;
    }
    return bytes;
}
