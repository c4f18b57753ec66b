// Drawing the wall and advancing the animations.
//
// The window keeps its picture between ticks: the wall is drawn into the
// back buffer, which is never swapped while partial presents work, and a
// tick redraws and presents only the rectangles whose pixels changed. What
// a tick draws is decided in one place, PlanTick, by comparing the wall with
// the record of what the window shows (WallPicture).
#include <GL/glew.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "platform/platform.h"
#include "render/render.h"
#include "wall/gif_wall.h"

namespace {

// One drawn frame is 2 hundredths of a second of animation.
constexpr int32_t kFrameStep = 2;

// Window pixels from the top left: [left, right) x [top, bottom).
struct PixelRect {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// A rectangle a tick redraws. When it lies inside one image (slot, in
// column), and that image's frame is opaque, the image alone redraws it.
struct Damage {
    PixelRect rect;
    int32_t slot = -1;
    int32_t column = -1;
};

// One column entry as the window shows it.
struct ShownImage {
    int32_t slot = 0;
    uint32_t buffer = 0;
    int32_t top = 0;
    int32_t width = 0;
    int32_t height = 0;
    bool active = false;
    int32_t frame = 0;
    uint32_t texture = 0;
    size_t frameCount = 0;
};

// What the window shows: valid once a whole wall has been drawn into a
// buffer that keeps its content.
struct WallPicture {
    bool valid = false;
    int32_t width = 0;
    int32_t height = 0;
    int32_t columnWidth = 0;
    int32_t columnCount = 0;
    uint32_t pictureLosses = 0;
    std::vector<std::vector<ShownImage>> columns;
};

WallPicture gPicture;
WallDrawStats gLastStats;

void AdvanceFrame(WallImage* image) {
    FrameTexture& shown = image->frames[static_cast<size_t>(image->currentFrame)];
    shown.elapsed += kFrameStep;
    if (shown.delay <= shown.elapsed) {
        image->currentFrame = (image->currentFrame + 1) % static_cast<int32_t>(image->frames.size());
        image->frames[static_cast<size_t>(image->currentFrame)].elapsed = 0;
    }
}

// The wall's background: what shows between and below the images.
void ClearToWallGrey() {
    glClearColor(0.75f, 0.75f, 0.75f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT);
}

int32_t LeftMargin(const GifWall* wall) {
    return (wall->clientWidth - wall->columnWidth * wall->columnCount) / 2;
}

// The pixels an image covers; *exact false when its drawn height is not a
// whole number of pixels, and the rectangle has one pixel more on every side
// for rounding.
PixelRect ImageRect(const GifWall* wall, int32_t column, const WallImage& image, bool* exact) {
    const int32_t left = column * wall->columnWidth + LeftMargin(wall);
    const double drawnHeight =
        static_cast<double>(wall->columnWidth) * image.height / static_cast<double>(image.width);
    *exact = drawnHeight == std::floor(drawnHeight);
    if (*exact) {
        return PixelRect{left, image.top, left + wall->columnWidth,
                         image.top + static_cast<int32_t>(drawnHeight)};
    }
    return PixelRect{left - 1, image.top - 1, left + wall->columnWidth + 1,
                     static_cast<int32_t>(std::ceil(image.top + drawnHeight)) + 1};
}

PixelRect ImageRect(const GifWall* wall, int32_t column, const WallImage& image) {
    bool exact = false;
    return ImageRect(wall, column, image, &exact);
}

// Adds the parts of an image's rectangle whose texels the frame changed, or
// the whole rectangle when the change is not known. where gives the slot
// and column the parts lie in.
void AddFrameChange(const PixelRect& image, const FrameTexture& frame, Damage where,
                    std::vector<Damage>* damage) {
    if (frame.canvasWidth <= 0 || frame.canvasHeight <= 0) {
        where.rect = image;
        damage->push_back(where);
        return;
    }
    // The texture spans the image rectangle without its rounding pixels.
    const int32_t pad = where.slot >= 0 ? 0 : 1;
    const double left = image.left + pad, top = image.top + pad;
    const double sx = (image.right - pad - left) / frame.canvasWidth;
    const double sy = (image.bottom - pad - top) / frame.canvasHeight;
    for (int32_t i = 0; i < frame.changePartCount; ++i) {
        const TexelBox& box = frame.changeParts[static_cast<size_t>(i)];
        // One pixel more on every side: nearest sampling rounds.
        PixelRect r{static_cast<int32_t>(std::floor(left + box.left * sx)) - 1,
                    static_cast<int32_t>(std::floor(top + box.top * sy)) - 1,
                    static_cast<int32_t>(std::ceil(left + box.right * sx)) + 1,
                    static_cast<int32_t>(std::ceil(top + box.bottom * sy)) + 1};
        r.left = std::max(r.left, image.left);
        r.top = std::max(r.top, image.top);
        r.right = std::min(r.right, image.right);
        r.bottom = std::min(r.bottom, image.bottom);
        where.rect = r;
        damage->push_back(where);
    }
}

bool Empty(const PixelRect& r) { return r.right <= r.left || r.bottom <= r.top; }

bool Intersects(const PixelRect& a, const PixelRect& b) {
    return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

PixelRect ClipToWindow(const GifWall* wall, PixelRect r) {
    r.left = std::max(r.left, 0);
    r.top = std::max(r.top, 0);
    r.right = std::min(r.right, wall->clientWidth);
    r.bottom = std::min(r.bottom, wall->clientHeight);
    return r;
}

ShownImage Shown(int32_t slot, const WallImage& image) {
    ShownImage s;
    s.slot = slot;
    s.buffer = image.buffer;
    s.top = image.top;
    s.width = image.width;
    s.height = image.height;
    s.active = image.active;
    if (image.active) {
        s.frame = image.currentFrame;
        s.texture = image.frames[static_cast<size_t>(image.currentFrame)].texture;
        s.frameCount = image.frames.size();
    }
    return s;
}

bool SamePlace(const ShownImage& a, const ShownImage& b) {
    return a.slot == b.slot && a.buffer == b.buffer && a.top == b.top && a.width == b.width &&
           a.height == b.height && a.active == b.active && a.frameCount == b.frameCount;
}

// Decides what this tick draws: nothing, the listed rectangles, or (full)
// the whole window. Records the wall as it will be shown afterwards.
std::vector<Damage> PlanTick(GifWall* wall, bool* full) {
    const int32_t NC = std::max(wall->columnCount, 0);
    const uint32_t losses = PictureLossCount(wall->hwnd);
    *full = !gPicture.valid || gPicture.width != wall->clientWidth ||
            gPicture.height != wall->clientHeight || gPicture.columnWidth != wall->columnWidth ||
            gPicture.columnCount != NC || gPicture.pictureLosses != losses;
    gPicture.width = wall->clientWidth;
    gPicture.height = wall->clientHeight;
    gPicture.columnWidth = wall->columnWidth;
    gPicture.columnCount = NC;
    gPicture.pictureLosses = losses;
    gPicture.columns.resize(static_cast<size_t>(NC));

    std::vector<Damage> damage;
    std::vector<ShownImage> now;
    for (int32_t c = 0; c < NC; ++c) {
        const std::vector<int32_t>& column = wall->columns[static_cast<size_t>(c)];
        now.clear();
        for (int32_t index : column) now.push_back(Shown(index, wall->images[static_cast<size_t>(index)]));
        std::vector<ShownImage>& before = gPicture.columns[static_cast<size_t>(c)];
        if (!*full) {
            const bool samePlaces =
                before.size() == now.size() &&
                std::equal(before.begin(), before.end(), now.begin(), SamePlace);
            if (!samePlaces) {
                // A placement pushed the column down or dropped from it.
                const int32_t left = c * wall->columnWidth + LeftMargin(wall);
                damage.push_back(Damage{PixelRect{left - 1, 0, left + wall->columnWidth + 1,
                                                  wall->clientHeight}});
            } else {
                for (size_t i = 0; i < now.size(); ++i) {
                    const ShownImage& was = before[i];
                    const ShownImage& is = now[i];
                    if (!is.active || (is.frame == was.frame && is.texture == was.texture)) continue;
                    const WallImage& image = wall->images[static_cast<size_t>(is.slot)];
                    bool exact = false;
                    const PixelRect rect = ImageRect(wall, c, image, &exact);
                    const Damage where{rect, exact ? is.slot : -1, c};
                    const bool nextFrame =
                        is.frame == (was.frame + 1) % static_cast<int32_t>(is.frameCount);
                    if (nextFrame) {
                        AddFrameChange(rect, image.frames[static_cast<size_t>(is.frame)], where,
                                       &damage);
                    } else {
                        damage.push_back(where);
                    }
                }
            }
        }
        before.swap(now);
    }
    if (*full) return {Damage{PixelRect{0, 0, wall->clientWidth, wall->clientHeight}}};

    std::vector<Damage> clipped;
    for (Damage d : damage) {
        d.rect = ClipToWindow(wall, d.rect);
        if (!Empty(d.rect)) clipped.push_back(d);
    }
    return clipped;
}

// Draws one image of column c with its current frame.
void DrawImage(const GifWall* wall, int32_t c, const WallImage& image, GLint loc) {
    const int32_t W = wall->clientWidth;
    const int32_t H = wall->clientHeight;
    const int32_t CW = wall->columnWidth;
    const int32_t NC = wall->columnCount;
    const double sx = 2.0 / W;           // NDC units per horizontal pixel
    const int32_t M = (W - CW * NC) / 2;  // left margin that centres the columns
    const double colW = CW * sx;
    glBindBuffer(GL_ARRAY_BUFFER, image.buffer);
    glBindTexture(GL_TEXTURE_2D, image.frames[static_cast<size_t>(image.currentFrame)].texture);
    const double aspect = static_cast<double>(W) / static_cast<double>(H);
    const double x = (c * CW + M) * sx;
    const double y = (image.top * aspect) * sx;
    const double z = colW;
    const double w = ((static_cast<double>(image.height) / image.width) * aspect) * colW;
    glUniform4f(loc, static_cast<float>(x), static_cast<float>(y), static_cast<float>(z),
                static_cast<float>(w));
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(0));
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, reinterpret_cast<const void*>(8));
    glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    glDisableVertexAttribArray(1);
    glDisableVertexAttribArray(0);
}

// Draws every active image of the columns in use that meets clip (all of
// them when clip is null), in column order, with its current frame.
void DrawImages(GifWall* wall, const PixelRect* clip) {
    const GLint loc = glGetUniformLocation(*wall->programHolder, "state");
    for (int32_t c = 0; c < wall->columnCount; ++c) {
        for (int32_t index : wall->columns[static_cast<size_t>(c)]) {
            const WallImage& image = wall->images[static_cast<size_t>(index)];
            if (!image.active) continue;
            if (clip && !Intersects(*clip, ImageRect(wall, c, image))) continue;
            DrawImage(wall, c, image, loc);
        }
    }
}

// The empty wall's grey, alpha included, as a 1 x 1 texture.
GLuint WallGreyTexture() {
    static GLuint texture = 0;  // the main context's, for the life of the process
    if (texture) return texture;
    const uint8_t grey[4] = {191, 191, 191, 0};  // 0.75 and 0.0 as the clear stores them
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, 1, 1, 0, GL_RGBA, GL_UNSIGNED_BYTE, grey);
    return texture;
}

// Stores the clear's grey in every rectangle (device pixels) with one draw:
// a scissored clear per rectangle costs the driver a state change each.
void PaintGrey(const std::vector<GlRect>& rects, const GLint viewport[4], GLint loc) {
    if (rects.empty()) return;
    std::vector<float> vertices;
    vertices.reserve(rects.size() * 24);
    const double vw = viewport[2], vh = viewport[3];
    for (const GlRect& r : rects) {
        // Corners in the unit square that "state" (0, 0, 2, 2) spreads over
        // the whole viewport: x from 0 at the left, y from 0 at the top
        // down to -1.
        const float x0 = float((r.x - viewport[0]) / vw);
        const float x1 = float((r.x + r.width - viewport[0]) / vw);
        const float y0 = float((r.y - viewport[1]) / vh - 1.0);
        const float y1 = float((r.y + r.height - viewport[1]) / vh - 1.0);
        const float corners[6][2] = {{x0, y0}, {x1, y0}, {x0, y1}, {x1, y0}, {x1, y1}, {x0, y1}};
        for (const auto& c : corners) vertices.insert(vertices.end(), {c[0], c[1], 0.5f, 0.5f});
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindTexture(GL_TEXTURE_2D, WallGreyTexture());
    glUniform4f(loc, 0.0f, 0.0f, 2.0f, 2.0f);
    // Stored as it is, the way the clear stores it.
    glDisable(GL_BLEND);
    glEnableVertexAttribArray(0);
    glEnableVertexAttribArray(1);
    glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 16, vertices.data());
    glVertexAttribPointer(1, 2, GL_FLOAT, GL_FALSE, 16, vertices.data() + 2);
    glDrawArrays(GL_TRIANGLES, 0, static_cast<GLsizei>(vertices.size() / 4));
    glDisableVertexAttribArray(1);
    glDisableVertexAttribArray(0);
    glEnable(GL_BLEND);
}

// Whether the driver has framebuffer objects and the blit (the same for
// every context of the process).
bool HasFramebufferBlit() {
    static const bool has = (GLEW_VERSION_3_0 || GLEW_ARB_framebuffer_object) && glGenFramebuffers &&
                            glDeleteFramebuffers && glFramebufferTexture2D && glCheckFramebufferStatus &&
                            glBlitFramebuffer;
    return has;
}

// Copies the part r (window pixels) of an image at place whose frame texture
// has one texel per window pixel: the pixels that drawing it with blending
// off gives, without the fragment shader running on every one of them.
// False when it cannot, and nothing was copied.
bool CopyTexels(const GifWall* wall, const GLint viewport[4], const PixelRect& place,
                const PixelRect& r, GLuint texture) {
    if (viewport[2] != wall->clientWidth || viewport[3] != wall->clientHeight) return false;
    if (!HasFramebufferBlit()) return false;
    // A framebuffer of its own for each copy: framebuffer objects belong to
    // one context, and a new window gets a new one.
    GLuint framebuffer = 0;
    glGenFramebuffers(1, &framebuffer);
    GLint reading = 0;
    glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &reading);
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_READ_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    const bool complete = glCheckFramebufferStatus(GL_READ_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    if (complete) {
        // Texture rows run from the image's top down, the window's from its
        // bottom up. The scissor (r itself) stays on: measured with Mesa's
        // llvmpipe, the copy costs a little less with it.
        const GLint top = viewport[1] + viewport[3];
        glBlitFramebuffer(r.left - place.left, r.top - place.top, r.right - place.left,
                          r.bottom - place.top, viewport[0] + r.left, top - r.top,
                          viewport[0] + r.right, top - r.bottom, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    // Deleting the framebuffer lets go of the texture, which the loader may
    // delete later.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, static_cast<GLuint>(reading));
    glDeleteFramebuffers(1, &framebuffer);
    return complete;
}

// A window rectangle in the viewport's device pixels, origin bottom left.
GlRect DeviceRect(const GifWall* wall, const GLint viewport[4], const PixelRect& r) {
    const double sx = static_cast<double>(viewport[2]) / wall->clientWidth;
    const double sy = static_cast<double>(viewport[3]) / wall->clientHeight;
    const int32_t left = viewport[0] + static_cast<int32_t>(std::floor(r.left * sx));
    const int32_t right = viewport[0] + static_cast<int32_t>(std::ceil(r.right * sx));
    const int32_t bottom = viewport[1] + viewport[3] - static_cast<int32_t>(std::ceil(r.bottom * sy));
    const int32_t top = viewport[1] + viewport[3] - static_cast<int32_t>(std::floor(r.top * sy));
    return GlRect{left, bottom, right - left, top - bottom};
}

// Each present is a round trip to the X server. Rectangles are presented as
// one box when it adds at most this many pixels: measured with Xvfb and
// Mesa's software driver, even one box around all of a tick's rectangles
// cost less CPU than presenting them one by one.
constexpr int64_t kPixelsPerPresent = 160 * 1024;

int64_t Area(const GlRect& r) { return int64_t(r.width) * r.height; }

GlRect Around(const GlRect& a, const GlRect& b) {
    const int32_t left = std::min(a.x, b.x), bottom = std::min(a.y, b.y);
    const int32_t right = std::max(a.x + a.width, b.x + b.width);
    const int32_t top = std::max(a.y + a.height, b.y + b.height);
    return GlRect{left, bottom, right - left, top - bottom};
}

// Puts the whole back buffer on the window. Where partial presents work
// the buffer is never swapped, so that it keeps the picture.
void PresentWhole(GifWall* wall) {
    if (CanPresentGlRects(wall->hdc)) {
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        const GlRect all{viewport[0], viewport[1], viewport[2], viewport[3]};
        PresentGlRects(wall->hdc, &all, 1);
    } else {
        SwapGlBuffers(wall->hdc);
    }
}

}  // namespace

std::vector<GlRect> MergePresents(const std::vector<GlRect>& rects) {
    std::vector<GlRect> merged;
    for (const GlRect& r : rects) {
        GlRect joined = r;
        // A merge can make the box reach others: take them in as well.
        for (bool grew = true; grew;) {
            grew = false;
            for (size_t i = 0; i < merged.size(); ++i) {
                const GlRect around = Around(merged[i], joined);
                if (Area(around) - Area(merged[i]) - Area(joined) <= kPixelsPerPresent) {
                    joined = around;
                    merged[i] = merged.back();
                    merged.pop_back();
                    grew = true;
                    break;
                }
            }
        }
        merged.push_back(joined);
    }
    return merged;
}

void ShowEmptyWall(GifWall* wall) {
    ClearToWallGrey();
    PresentWhole(wall);
    ForgetWallPicture();
}

void ForgetWallPicture() {
    gPicture.valid = false;
}

WallDrawStats LastWallDrawStats() {
    return gLastStats;
}

void DrawWholeWall(GifWall* wall) {
    ClearToWallGrey();
    glUseProgram(*wall->programHolder);
    DrawImages(wall, nullptr);
}

void DrawWall(GifWall* wall) {
    bool full = false;
    std::vector<Damage> damage = PlanTick(wall, &full);
    gLastStats = WallDrawStats{};
    if (!damage.empty()) {
        const bool partialPresent = CanPresentGlRects(wall->hdc);
        if (!partialPresent && !full) {
            // The last swap left the back buffer undefined.
            full = true;
            damage = {Damage{PixelRect{0, 0, wall->clientWidth, wall->clientHeight}}};
        }
        std::vector<GlRect> present;
        GLint viewport[4];
        glGetIntegerv(GL_VIEWPORT, viewport);
        if (full) {
            DrawWholeWall(wall);
        } else {
            // What a whole redraw gives inside each rectangle: the grey, then
            // every image that reaches it, in order. Inside an opaque frame
            // that is the frame's texels alone.
            const GLint loc = glGetUniformLocation(*wall->programHolder, "state");
            glUseProgram(*wall->programHolder);
            std::vector<const Damage*> mixed, opaque;
            std::vector<GlRect> mixedDevice;
            for (const Damage& d : damage) {
                const WallImage* image =
                    d.slot >= 0 ? &wall->images[static_cast<size_t>(d.slot)] : nullptr;
                if (image && image->frames[static_cast<size_t>(image->currentFrame)].opaque) {
                    opaque.push_back(&d);
                } else {
                    mixed.push_back(&d);
                    mixedDevice.push_back(DeviceRect(wall, viewport, d.rect));
                }
            }
            PaintGrey(mixedDevice, viewport, loc);
            glEnable(GL_SCISSOR_TEST);
            for (size_t i = 0; i < mixed.size(); ++i) {
                const GlRect& device = mixedDevice[i];
                glScissor(device.x, device.y, device.width, device.height);
                DrawImages(wall, &mixed[i]->rect);
            }
            // Blending an opaque texel gives the texel; where texels meet
            // pixels one to one, a copy gives them too.
            glDisable(GL_BLEND);
            for (const Damage* d : opaque) {
                const WallImage& image = wall->images[static_cast<size_t>(d->slot)];
                const FrameTexture& frame = image.frames[static_cast<size_t>(image.currentFrame)];
                const PixelRect place = ImageRect(wall, d->column, image);
                const bool oneToOne = frame.canvasWidth == place.right - place.left &&
                                      frame.canvasHeight == place.bottom - place.top;
                const GlRect device = DeviceRect(wall, viewport, d->rect);
                glScissor(device.x, device.y, device.width, device.height);
                if (oneToOne && CopyTexels(wall, viewport, place, d->rect, frame.texture)) {
                    ++gLastStats.copies;
                } else {
                    DrawImage(wall, d->column, image, loc);
                }
            }
            glEnable(GL_BLEND);
            glDisable(GL_SCISSOR_TEST);
        }
        for (const Damage& d : damage) {
            const PixelRect& r = d.rect;
            present.push_back(DeviceRect(wall, viewport, r));
            gLastStats.pixels += int64_t(r.right - r.left) * (r.bottom - r.top);
        }
        gLastStats.drawn = true;
        gLastStats.full = full;
        gLastStats.rects = static_cast<int32_t>(damage.size());
        if (partialPresent) {
            present = MergePresents(present);
            gLastStats.presents = static_cast<int32_t>(present.size());
            PresentGlRects(wall->hdc, present.data(), present.size());
        } else {
            SwapGlBuffers(wall->hdc);
        }
        gPicture.valid = true;
    }

    // Every image of the columns in use advances, drawn this tick or not.
    for (int32_t c = 0; c < wall->columnCount; ++c) {
        for (int32_t index : wall->columns[static_cast<size_t>(c)]) {
            WallImage& image = wall->images[static_cast<size_t>(index)];
            if (image.active) AdvanceFrame(&image);
        }
    }
}
