// DrawWall on the running viewer with real GL objects in its slots (the
// layout itself is tested without a display in tests/unit), read back from
// a framebuffer of our own.
#include <gtest/gtest.h>

#include <string>

#include "render/load_gif.h"
#include "render/render.h"
#include "viewer_gl_util.h"

namespace {

class WallTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(wall, nullptr);
        ClearWall(wall);
        Layout(760, 600, 3);
        wall->columnWidth = 250;
    }
    void Layout(int W, int H, int NC) {
        wall->clientWidth = W;
        wall->clientHeight = H;
        wall->columnCount = NC;
        SetViewport(wall, W, H);
    }
    void Show(int column, int top, WallImage image) {
        image.top = top;
        wall->images.push_back(image);
        wall->columns[column].push_back(int32_t(wall->images.size()) - 1);
    }
    void Draw() {
        DrawWall(wall);
        picture = ReadPixels(wall->clientWidth, wall->clientHeight);
    }
    Rgba At(int x, int y) const {  // from the top left
        return picture[(wall->clientHeight - 1 - y) * wall->clientWidth + x];
    }
    GifWall* wall = StartTestViewer();
    Target target;
    std::vector<Rgba> picture;  // the last draw, rows bottom to top
};

// The shader program as the wall feeds it: each texel of a 2 x 2 frame in
// its quadrant, the frame's top row on top, clear texels blended away.
TEST_F(WallTest, DrawnImageCoversItsColumnFromItsTopAndInactiveOnesAreSkipped) {
    // {W, H, NC, column, top, image w, h, top right texel clear}
    //   -> pixels {left, top, width, height}
    const int rows[][12] = {
        {800, 600, 3, 1, 0, 250, 125, 0, 275, 0, 250, 125},      // margin 25
        {801, 600, 3, 2, 300, 250, 125, 0, 525, 300, 250, 125},  // margin 25, not 26
        {199, 600, 1, 0, 0, 250, 100, 0, -25, 0, 250, 100},      // margin -25, not -26
        {800, 500, 3, 0, 100, 125, 100, 1, 25, 100, 250, 200},   // its own proportions
    };
    for (const auto& r : rows) {
        ClearWall(wall);
        Layout(r[0], r[1], r[2]);
        WallImage released = MakeImage({{0, 0, Tex({kGreen})}, {0, 0, Tex({kGreen})}});
        ReleaseImage(&released);
        Show(r[3], r[4] + r[11], released);  // just below: neither drawn nor advanced
        const Rgba right = r[7] ? 0x0000FF00 : kBlue, shownRight = r[7] ? kGrey : kBlue;
        Show(r[3], r[4], MakeImage({{100, 0, Tex({kRed, right, kGreen, kRed}, 2, 2)}}, r[5], r[6]));
        Draw();
        int wrong = 0;
        for (int y = 0; y < r[1]; ++y) {
            if (2 * (y - r[9]) + 1 == r[11]) continue;  // an odd height's middle row: either
            for (int x = 0; x < r[0]; ++x) {
                const bool in = x >= r[8] && x < r[8] + r[10] && y >= r[9] && y < r[9] + r[11];
                const bool left = x < r[8] + r[10] / 2, top = 2 * (y - r[9]) < r[11];
                const Rgba want = top ? (left ? kRed : shownRight) : (left ? kGreen : kRed);
                wrong += At(x, y) != (in ? want : kGrey);
            }
        }
        EXPECT_EQ(wrong, 0) << "W " << r[0] << " H " << r[1];
        EXPECT_EQ(wall->images[0].currentFrame + wall->images[0].frames[0].elapsed, 0);
    }
}

TEST_F(WallTest, FramesAdvanceAfterTheirDelayAtTwoHundredthsPerDraw) {
    const int rows[][2] = {{0, 1}, {1, 1}, {2, 1}, {3, 2}, {5, 3}};  // {delay, draws shown}
    for (const auto& [delay, shown] : rows) {
        ClearWall(wall);
        // The blue frame's elapsed time 3 is left over from its last turn.
        Show(0, 0, MakeImage({{delay, 0, Tex({kRed})}, {4, 3, Tex({kBlue})}}));
        std::string seen;
        for (int draw = 0; draw < shown + 3; ++draw) {
            Draw();
            seen += At(100, 50) == kRed ? 'r' : At(100, 50) == kBlue ? 'b' : '?';
        }
        EXPECT_EQ(seen, std::string(shown, 'r') + "bbr") << "delay " << delay;
    }
}

}  // namespace
