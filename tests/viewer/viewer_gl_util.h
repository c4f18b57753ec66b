// Helpers of the viewer's GL and UI tests: the one running viewer of the
// test process, GL objects made by hand for wall records, frame read-back,
// and a recorder for the message-box seam. Includes GLEW, so never Qt's GL
// headers next to it.
#pragma once

#include <GL/glew.h>

#include <cstdint>
#include <string>
#include <vector>

#include "app/app.h"
#include "platform/platform.h"
#include "viewer_support.h"
#include "wall/gif_wall.h"

// The viewer of this process, started on first use. The test main shuts it
// down after the last test when it was started.
inline bool& ViewerStarted() {
    static bool started = false;
    return started;
}

inline GifWall* Viewer() {
    GifWall* wall = StartTestViewer();
    ViewerStarted() = wall != nullptr;
    return wall;
}

// 0xRRGGBBAA, the order in which the pixels are compared.
using Rgba = uint32_t;
constexpr Rgba kGrey = 0xBFBFBFFF;  // the clear colour 0.75 read back as bytes

inline std::vector<uint8_t> SolidRgba(int width, int height, Rgba colour) {
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * 4);
    for (size_t i = 0; i < bytes.size(); i += 4) {
        bytes[i] = static_cast<uint8_t>(colour >> 24);
        bytes[i + 1] = static_cast<uint8_t>(colour >> 16);
        bytes[i + 2] = static_cast<uint8_t>(colour >> 8);
        bytes[i + 3] = static_cast<uint8_t>(colour);
    }
    return bytes;
}

// A texture made the way LoadGif makes one: RGBA8, nearest, clamped.
inline GLuint MakeTexture(int width, int height, const std::vector<uint8_t>& rgba) {
    GLuint texture = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE,
                 rgba.data());
    glFinish();
    return texture;
}

// The quad every image's buffer holds: (x, y, u, v) per corner, written out
// here rather than taken from the product.
inline GLuint MakeQuadBuffer() {
    static const float quad[16] = {1, 0, 1, 0, 0, 0, 0, 0, 1, -1, 1, 1, 0, -1, 0, 1};
    GLuint buffer = 0;
    glGenBuffers(1, &buffer);
    glBindBuffer(GL_ARRAY_BUFFER, buffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof quad, quad, GL_STATIC_DRAW);
    return buffer;
}

// An active image with one texture per entry of colours (each frame a
// solid 2 x 2 texture) and the given delays.
inline WallImage MakeSolidImage(const std::vector<Rgba>& colours, const std::vector<int>& delays,
                                int width, int height) {
    WallImage image;
    image.width = width;
    image.height = height;
    image.buffer = MakeQuadBuffer();
    image.active = true;
    for (size_t i = 0; i < colours.size(); ++i) {
        image.frames.push_back(
            FrameTexture{delays[i], 0, MakeTexture(2, 2, SolidRgba(2, 2, colours[i]))});
    }
    return image;
}

inline bool ImageObjectsAlive(const WallImage& image) {
    if (!glIsBuffer(image.buffer)) return false;
    for (const FrameTexture& frame : image.frames) {
        if (!glIsTexture(frame.texture)) return false;
    }
    return true;
}

inline bool ImageObjectsGone(const WallImage& image) {
    if (glIsBuffer(image.buffer)) return false;
    for (const FrameTexture& frame : image.frames) {
        if (glIsTexture(frame.texture)) return false;
    }
    return true;
}

// A framebuffer of our own that DrawWall and ClearWall draw into while it
// is bound: they draw into whatever framebuffer is bound, and under Xvfb the
// window's front buffer cannot be read back after their swap.
class DrawTarget {
public:
    DrawTarget(int width, int height) {
        glGenRenderbuffers(1, &renderbuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer_);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
        glGenFramebuffers(1, &framebuffer_);
        glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  renderbuffer_);
        complete_ = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
    }
    ~DrawTarget() {
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        glDeleteFramebuffers(1, &framebuffer_);
        glDeleteRenderbuffers(1, &renderbuffer_);
    }
    DrawTarget(const DrawTarget&) = delete;
    DrawTarget& operator=(const DrawTarget&) = delete;

    bool Complete() const { return complete_; }
    void Bind() const { glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_); }
    GLint Bound() const {
        GLint bound = 0;
        glGetIntegerv(GL_FRAMEBUFFER_BINDING, &bound);
        return bound;
    }
    GLuint Name() const { return framebuffer_; }

private:
    GLuint renderbuffer_ = 0;
    GLuint framebuffer_ = 0;
    bool complete_ = false;
};

// The picture in the bound framebuffer's viewport of width x height at its
// bottom-left corner, rows top to bottom, one 0xRRGGBBAA value per pixel
// (alpha forced to 0xFF).
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Rgba> pixels;
    Rgba At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
};

inline Picture ReadPicture(int width, int height) {
    Picture picture;
    picture.width = width;
    picture.height = height;
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * 4);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    picture.pixels.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        const uint8_t* row = bytes.data() + static_cast<size_t>(height - 1 - y) * width * 4;
        for (int x = 0; x < width; ++x) {
            const uint8_t* p = row + x * 4;
            picture.pixels[static_cast<size_t>(y) * width + x] =
                (Rgba(p[0]) << 24) | (Rgba(p[1]) << 16) | (Rgba(p[2]) << 8) | 0xFF;
        }
    }
    return picture;
}

// Every message box the viewer asked for.
struct ShownMessage {
    std::string text;
    std::string caption;
    MessageBoxKind kind;
};

inline std::vector<ShownMessage>& ShownMessages() {
    static std::vector<ShownMessage> messages;
    return messages;
}

inline int32_t RecordMessageBox(const std::string& text, const std::string& caption,
                                MessageBoxKind kind) {
    ShownMessages().push_back(ShownMessage{text, caption, kind});
    return kind == MessageBoxKind::YesNoQuestion ? kAnswerYes : kAnswerOk;
}
