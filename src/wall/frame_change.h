// Where a frame differs from the frame before it, found once at load time so
// that a tick redraws only those texels.
#pragma once

#include <cstdint>

#include "wall/wall_image.h"

// Compares two canvases of width x height RGBA texels (rows top down) and
// sets frame's canvas size, change (the box around every differing texel,
// empty when none differs) and changeParts: at most kChangeParts boxes
// inside change that together hold every differing texel. Distant changes,
// such as a sprite's old and new place, get boxes of their own; changes
// that fill their box stay one box. changePartCount is 0 only when nothing
// differs.
void FindFrameChange(const uint8_t* before, const uint8_t* after, int32_t width, int32_t height,
                     FrameTexture* frame);
