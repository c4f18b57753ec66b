// Helpers of the viewer's GL tests: GL objects made by hand for the wall's
// records. Includes GLEW, so never Qt's GL headers next to it.
#pragma once

#include <GL/glew.h>

#include <vector>

#include "app/app.h"
#include "platform/platform.h"
#include "platform/test_hooks.h"
#include "viewer_support.h"
#include "wall/gif_wall.h"

using Rgba = uint32_t;  // 0xRRGGBBAA
constexpr Rgba kGrey = 0xBFBFBFFF, kRed = 0xFF0000FF, kBlue = 0x0000FFFF, kGreen = 0x00FF00FF;

// A w x h texture made the way LoadGif makes one, texels row by row.
inline GLuint Tex(const std::vector<Rgba>& texels, int w = 1, int h = 1) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    for (GLenum p : {GL_TEXTURE_MAG_FILTER, GL_TEXTURE_MIN_FILTER})
        glTexParameteri(GL_TEXTURE_2D, p, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8,
                 texels.data());
    return texture;
}

// An active image with the given frames and a quad buffer written out here.
inline WallImage MakeImage(std::vector<FrameTexture> frames, int w = 250, int h = 100) {
    static const float quad[16] = {1, 0, 1, 0, 0, 0, 0, 0, 1, -1, 1, 1, 0, -1, 0, 1};
    WallImage image{w, h, 0, 0, 0, true, 0, std::move(frames)};
    glGenBuffers(1, &image.buffer);
    glBindBuffer(GL_ARRAY_BUFFER, image.buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    return image;
}

// An offscreen colour buffer of 1000 x 700, bound while it lives: Xvfb
// loses the window's own at the swap.
struct Target {
    GLuint renderbuffer = 0, framebuffer = 0;
    GLint saved = 0;
    Target() {
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &saved);
        glGenRenderbuffers(1, &renderbuffer);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 1000, 700);
        glGenFramebuffers(1, &framebuffer);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  renderbuffer);
    }
    ~Target() {
        glBindFramebuffer(GL_FRAMEBUFFER, GLuint(saved));
        glDeleteFramebuffers(1, &framebuffer);
        glDeleteRenderbuffers(1, &renderbuffer);
    }
};

// The bound buffer's w x h pixels, rows bottom to top, alpha read as 0xFF
// (the grey's is 0).
inline std::vector<Rgba> ReadPixels(int w, int h) {
    std::vector<Rgba> pixels(size_t(w) * h);
    glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8, pixels.data());
    for (Rgba& p : pixels) p |= 0xFF;
    return pixels;
}

// How many of the image's buffer and textures are still GL objects.
inline size_t LiveObjects(const WallImage& image) {
    size_t live = glIsBuffer(image.buffer);
    for (const FrameTexture& f : image.frames) live += glIsTexture(f.texture);
    return live;
}
