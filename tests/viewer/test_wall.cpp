// The wall on the running viewer with real GL objects in its slots (the
// layout itself is tested without a display in tests/unit). DrawWall
// is read back from a framebuffer of our own: Xvfb loses the window's at the
// swap.
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
        static GLuint names[2] = {};  // renderbuffer, framebuffer: bound for good
        if (!names[1]) {
            glGenRenderbuffers(1, &names[0]);
            glBindRenderbuffer(GL_RENDERBUFFER, names[0]);
            glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, 1000, 700);
            glGenFramebuffers(1, &names[1]);
            glBindFramebuffer(GL_FRAMEBUFFER, names[1]);
            glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                      names[0]);
        }
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
    // Stages an image of the given height, places it and resets the stage.
    int32_t Place(int32_t height, bool shortest = false) {
        wall->pendingImage = MakeImage({{10, 0, Tex({kRed})}});
        wall->pendingHeight = height;
        const int32_t result = PlaceStaged(wall, shortest);
        ResetStage(wall);
        return result;
    }
    void Show(int column, int top, WallImage image) {
        image.top = top;
        wall->images.push_back(image);
        wall->columns[column].push_back(int32_t(wall->images.size()) - 1);
    }
    void Draw() {
        DrawWall(wall);
        picture.resize(size_t(wall->clientWidth) * wall->clientHeight);
        glReadPixels(0, 0, wall->clientWidth, wall->clientHeight, GL_RGBA, GL_UNSIGNED_INT_8_8_8_8,
                     picture.data());
    }
    Rgba At(int x, int y) const {  // from the top left, alpha read as 0xFF
        return picture[(wall->clientHeight - 1 - y) * wall->clientWidth + x] | 0xFF;
    }
    GifWall* wall = StartTestViewer();
    std::vector<Rgba> picture;  // the last draw, rows bottom to top
};

TEST_F(WallTest, ImagesPushedOffTheBottomAndClearWallFreeTheirGlObjects) {
    wall->columnCount = 1;
    Place(1);
    Place(599);
    const WallImage first = wall->images[0];
    EXPECT_EQ(LiveObjects(first), 2u) << "top 599 stays";
    Place(1);  // pushes it to 600
    EXPECT_EQ(LiveObjects(first), 0u);
    const WallImage a = wall->images[0], b = wall->images[1];
    wall->playing = true;
    EXPECT_EQ(ClearWall(wall), 1);
    EXPECT_TRUE(wall->images.empty() && wall->columns[0].empty());
    EXPECT_EQ(LiveObjects(a) + LiveObjects(b), 0u);
    EXPECT_FALSE(wall->playing);
}

TEST_F(WallTest, DrawnImageCoversItsColumnFromItsTopAndInactiveOnesAreSkipped) {
    // {W, H, NC, column, top, image w, h, right half transparent}
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
        Show(r[3], r[4], MakeImage({{100, 0, Tex({kRed, right}, 2, 1)}}, r[5], r[6]));
        Draw();
        int wrong = 0;
        for (int y = 0; y < r[1]; ++y) {
            for (int x = 0; x < r[0]; ++x) {
                const bool in = x >= r[8] && x < r[8] + r[10] && y >= r[9] && y < r[9] + r[11];
                wrong += At(x, y) != (!in ? kGrey : x < r[8] + r[10] / 2 ? kRed : shownRight);
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
