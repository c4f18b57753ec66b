// Where a frame differs from the one before it: the box around every change
// and the few parts that a tick redraws, which must hold every changed texel.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "wall/frame_change.h"

namespace {

struct Canvas {
    int32_t width;
    int32_t height;
    std::vector<uint8_t> rgba;
    Canvas(int32_t w, int32_t h) : width(w), height(h), rgba(static_cast<size_t>(w) * h * 4, 0) {
        for (size_t i = 0; i < rgba.size(); ++i) rgba[i] = static_cast<uint8_t>(i * 7 % 251);
    }
    // Changes one byte of the texel: one channel is enough to count.
    void Touch(int32_t x, int32_t y, int channel = 0) {
        rgba[(static_cast<size_t>(y) * width + x) * 4 + channel] ^= 0x5a;
    }
    void TouchBlock(int32_t x0, int32_t y0, int32_t x1, int32_t y1) {
        for (int32_t y = y0; y < y1; ++y)
            for (int32_t x = x0; x < x1; ++x) Touch(x, y);
    }
};

int64_t Area(const TexelBox& b) { return int64_t(b.right - b.left) * (b.bottom - b.top); }

bool Inside(const TexelBox& inner, const TexelBox& outer) {
    return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
           inner.bottom <= outer.bottom;
}

// Every changed texel lies in some part; parts are non-empty and inside the
// box; the box is the tightest around the changes. Returns the parts' area.
int64_t CheckCovers(const Canvas& before, const Canvas& after, const FrameTexture& f, const std::string& what) {
    EXPECT_EQ(f.canvasWidth, before.width) << what;
    EXPECT_EQ(f.canvasHeight, before.height) << what;
    EXPECT_LE(f.changePartCount, kChangeParts) << what;
    TexelBox tight{before.width, before.height, 0, 0};
    int64_t missed = 0;
    for (int32_t y = 0; y < before.height; ++y) {
        for (int32_t x = 0; x < before.width; ++x) {
            const size_t at = (static_cast<size_t>(y) * before.width + x) * 4;
            if (std::equal(&before.rgba[at], &before.rgba[at] + 4, &after.rgba[at])) continue;
            tight = TexelBox{std::min(tight.left, x), std::min(tight.top, y), std::max(tight.right, x + 1),
                             std::max(tight.bottom, y + 1)};
            bool held = false;
            for (int32_t i = 0; i < f.changePartCount; ++i) {
                const TexelBox& p = f.changeParts[static_cast<size_t>(i)];
                held |= x >= p.left && x < p.right && y >= p.top && y < p.bottom;
            }
            missed += !held;
        }
    }
    EXPECT_EQ(missed, 0) << what << ": changed texels outside every part";
    if (tight.right <= tight.left) {
        EXPECT_EQ(Area(f.change), 0) << what;
        EXPECT_EQ(f.changePartCount, 0) << what;
        return 0;
    }
    EXPECT_EQ(f.change.left, tight.left) << what;
    EXPECT_EQ(f.change.top, tight.top) << what;
    EXPECT_EQ(f.change.right, tight.right) << what;
    EXPECT_EQ(f.change.bottom, tight.bottom) << what;
    EXPECT_GE(f.changePartCount, 1) << what;
    int64_t area = 0;
    for (int32_t i = 0; i < f.changePartCount; ++i) {
        const TexelBox& p = f.changeParts[static_cast<size_t>(i)];
        EXPECT_GT(Area(p), 0) << what << " part " << i;
        EXPECT_TRUE(Inside(p, f.change)) << what << " part " << i;
        area += Area(p);
    }
    return area;
}

TEST(FrameChange, ASpritesOldAndNewPlacesGetPartsOfTheirOwn) {
    // 24 x 24 sprites in opposite corners of a 250 x 180 canvas, the way a
    // sprite jumps between two frames: the box is nearly the whole canvas.
    Canvas before(250, 180), after(250, 180);
    after.TouchBlock(10, 12, 34, 36);
    after.TouchBlock(210, 140, 234, 164);
    FrameTexture f;
    FindFrameChange(before.rgba.data(), after.rgba.data(), 250, 180, &f);
    const int64_t area = CheckCovers(before, after, f, "two sprites");
    EXPECT_EQ(f.changePartCount, 2);
    EXPECT_LT(area, Area(f.change) / 10) << "the parts hold the sprites, not the space between";
}

TEST(FrameChange, ChangesThatFillTheirBoxStayOneBox) {
    const struct {
        const char* what;
        int32_t x0, y0, x1, y1;
    } rows[] = {
        {"whole canvas", 0, 0, 203, 117},
        {"a block off the tile grid", 13, 5, 150, 97},
        {"one texel in the last corner", 202, 116, 203, 117},
        {"one row", 0, 60, 203, 61},
    };
    for (const auto& row : rows) {
        Canvas before(203, 117), after(203, 117);
        after.TouchBlock(row.x0, row.y0, row.x1, row.y1);
        FrameTexture f;
        FindFrameChange(before.rgba.data(), after.rgba.data(), 203, 117, &f);
        CheckCovers(before, after, f, row.what);
        ASSERT_EQ(f.changePartCount, 1) << row.what;
        EXPECT_EQ(Area(f.changeParts[0]), Area(f.change)) << row.what;
    }
}

TEST(FrameChange, EqualCanvasesChangeNothingAndAnAlphaOnlyChangeCounts) {
    Canvas before(64, 40), after(64, 40);
    FrameTexture f;
    f.changePartCount = 3;  // left over from an earlier use of the record
    FindFrameChange(before.rgba.data(), after.rgba.data(), 64, 40, &f);
    CheckCovers(before, after, f, "equal");
    EXPECT_EQ(f.changePartCount, 0);

    after.Touch(63, 39, 3);
    FindFrameChange(before.rgba.data(), after.rgba.data(), 64, 40, &f);
    CheckCovers(before, after, f, "alpha of the last texel");
    EXPECT_EQ(f.changePartCount, 1);
}

TEST(FrameChange, ScatteredChangesOfAnyShapeAreAlwaysHeld) {
    // Random sizes (tile edges and not), scattered texels, blocks and lines:
    // whatever the cuts, no changed texel may be left out.
    std::mt19937 random(7);
    int multiPart = 0;
    for (int round = 0; round < 300; ++round) {
        const int32_t w = 1 + static_cast<int32_t>(random() % 300);
        const int32_t h = 1 + static_cast<int32_t>(random() % 200);
        Canvas before(w, h), after(w, h);
        const int shapes = 1 + static_cast<int>(random() % 12);
        for (int s = 0; s < shapes; ++s) {
            const int32_t x = static_cast<int32_t>(random() % w), y = static_cast<int32_t>(random() % h);
            switch (random() % 3) {
            case 0:
                after.Touch(x, y, static_cast<int>(random() % 4));
                break;
            case 1:
                after.TouchBlock(x, y, std::min(w, x + 1 + static_cast<int32_t>(random() % 30)),
                                 std::min(h, y + 1 + static_cast<int32_t>(random() % 30)));
                break;
            default:
                for (int32_t k = 0; x + k < w && y + k < h && k < 80; ++k) after.Touch(x + k, y + k);
            }
        }
        FrameTexture f;
        FindFrameChange(before.rgba.data(), after.rgba.data(), w, h, &f);
        CheckCovers(before, after, f, std::to_string(w) + " x " + std::to_string(h) + " round " + std::to_string(round));
        multiPart += f.changePartCount > 1;
    }
    EXPECT_GT(multiPart, 30) << "scattered changes are cut into parts";
}

}  // namespace
