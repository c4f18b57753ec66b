// Animated GIFs of the two kinds a wall plays most: full-frame animations,
// and small sprites moving over a still background, stored the way
// optimising encoders write them (after a full first frame, each frame is
// only the rectangle around the sprite's old and new place, with every
// unchanged pixel transparent). Used by the wall benchmark and the drawing
// tests.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "gif_encoder.h"

namespace wallgifs {

// 16 colours: a ramp of greys and blues for backgrounds, bright ones for
// sprites and stripes. Index 15 is the transparent one.
inline std::vector<uint8_t> Palette(int seed) {
    std::vector<uint8_t> rgb;
    for (int i = 0; i < 16; ++i) {
        rgb.push_back(static_cast<uint8_t>((i * 37 + seed * 53) & 0xFF));
        rgb.push_back(static_cast<uint8_t>((i * 91 + seed * 17) & 0xFF));
        rgb.push_back(static_cast<uint8_t>((i * 13 + seed * 101 + 40) & 0xFF));
    }
    return rgb;
}

// Diagonal stripes that move by 3 pixels a frame over the whole canvas.
inline std::vector<uint8_t> FullFrameGif(int width, int height, int frames, int delay, int seed) {
    EncodedGif gif;
    gif.screenWidth = width;
    gif.screenHeight = height;
    gif.globalPalette = Palette(seed);
    for (int t = 0; t < frames; ++t) {
        EncodedImage image;
        image.width = width;
        image.height = height;
        image.delay = delay;
        image.indices.resize(static_cast<size_t>(width) * height);
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                image.indices[static_cast<size_t>(y) * width + x] =
                    static_cast<uint8_t>(((x + y + t * 3 + seed) / 7) % 15);
        gif.images.push_back(std::move(image));
    }
    return EncodeGif(gif);
}

// With holes, every third cell of the background is transparent.
inline uint8_t Background(int x, int y, int seed, bool holes) {
    if (holes && (x / 20 + y / 20) % 3 == 0) return 15;
    return static_cast<uint8_t>(((x / 9) ^ (y / 11) ^ seed) % 6);  // indices 0..5
}

// A square sprite of about a tenth of the width that moves around an ellipse
// over a still background. With holes, part of the background is
// transparent, and where the sprite passed over a hole it leaves colour 14
// (a frame cannot make a texel transparent again without disposal).
inline std::vector<uint8_t> SpriteGif(int width, int height, int frames, int delay, int seed,
                                      bool holes = false) {
    EncodedGif gif;
    gif.screenWidth = width;
    gif.screenHeight = height;
    gif.globalPalette = Palette(seed);
    const int size = std::max(6, width / 10);
    auto place = [&](int t, int* sx, int* sy) {
        const double angle = 6.283185307179586 * t / frames;
        *sx = static_cast<int>((width - size) * (0.5 + 0.45 * std::cos(angle)));
        *sy = static_cast<int>((height - size) * (0.5 + 0.45 * std::sin(angle)));
    };
    auto inSprite = [&](int x, int y, int sx, int sy) {
        return x >= sx && x < sx + size && y >= sy && y < sy + size;
    };
    int oldX = -size * 4, oldY = -size * 4;
    for (int t = 0; t < frames; ++t) {
        int sx, sy;
        place(t, &sx, &sy);
        EncodedImage image;
        image.delay = delay;
        image.transparentIndex = 15;
        if (t == 0) {
            image.width = width;
            image.height = height;
        } else {
            // The rectangle around the sprite's old and new place.
            image.left = std::min(oldX, sx);
            image.top = std::min(oldY, sy);
            image.width = std::max(oldX, sx) + size - image.left;
            image.height = std::max(oldY, sy) + size - image.top;
        }
        image.indices.resize(static_cast<size_t>(image.width) * image.height);
        for (int y = 0; y < image.height; ++y) {
            for (int x = 0; x < image.width; ++x) {
                const int cx = image.left + x, cy = image.top + y;
                uint8_t index = 15;  // unchanged
                if (inSprite(cx, cy, sx, sy)) {
                    index = static_cast<uint8_t>(8 + ((cx - sx) / 3 + (cy - sy) / 3) % 4);
                } else if (t == 0 || inSprite(cx, cy, oldX, oldY)) {
                    index = Background(cx, cy, seed, holes);
                    if (t > 0 && index == 15) index = 14;
                }
                image.indices[static_cast<size_t>(y) * image.width + x] = index;
            }
        }
        gif.images.push_back(std::move(image));
        oldX = sx;
        oldY = sy;
    }
    return EncodeGif(gif);
}

}  // namespace wallgifs
