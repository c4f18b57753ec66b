// One GIF on the wall and one of its frames: plain records copied by value
// between the stage and the wall's slots.
//
// Ownership: a copy names the same GL buffer and textures as its source. The
// slot of the wall that holds the image owns them; ReleaseImage frees them
// once. The stage is reset after a placement without releasing anything.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

// Texels [left, right) x [top, bottom) of a frame.
struct TexelBox {
    int32_t left = 0;
    int32_t top = 0;
    int32_t right = 0;
    int32_t bottom = 0;
};

// Boxes a frame's change is split into at most: each costs a tick a draw
// of its own.
constexpr int32_t kChangeParts = 6;

struct FrameTexture {
    int32_t delay = 0;    // hundredths of a second the frame is shown
    int32_t elapsed = 0;  // hundredths shown in its current turn
    uint32_t texture = 0; // GL texture name
    // The box of texels in which this frame differs from the frame before
    // it (the last frame for frame 0), in a canvasWidth x canvasHeight
    // texture; an empty box when none does. canvasWidth 0: not known, the
    // whole image counts as changed.
    int32_t canvasWidth = 0;
    int32_t canvasHeight = 0;
    TexelBox change = {};
    // The same changes as up to kChangeParts boxes inside change that
    // together hold every changed texel; none when nothing changed or the
    // change is not known.
    std::array<TexelBox, kChangeParts> changeParts = {};
    int32_t changePartCount = 0;
    bool opaque = false;  // every texel has alpha 255
};

struct WallImage {
    int32_t width = 0;   // display size, set at placement
    int32_t height = 0;
    int32_t x = 0;       // set to 0 at placement; nothing reads it
    int32_t top = 0;     // pixels from the top of the wall to the top edge
    uint32_t buffer = 0; // GL vertex buffer name
    bool active = false; // holds live GL objects; only active images draw
    int32_t currentFrame = 0;
    std::vector<FrameTexture> frames;  // file order; never empty when active
};
