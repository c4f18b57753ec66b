// DrawWall on the viewer's main context, drawing into a framebuffer of our
// own that is read back after the draw: where each image lands, transparency
// over the grey, the centring margin, and how frames advance with their
// delays.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"
#include "gif/load_gif.h"
#include "render/render.h"
#include "viewer_gl_util.h"

namespace {

constexpr Rgba kRed = 0xFF0000FF;
constexpr Rgba kBlue = 0x0000FFFF;
constexpr Rgba kGreen = 0x00FF00FF;
constexpr Rgba kYellow = 0xFFFF00FF;

// A texture of two texels side by side: left red, right blue.
GLuint SplitTexture() {
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 0, 255, 255};
    return MakeTexture(2, 1, rgba);
}

class DrawWallTest : public ::testing::Test {
protected:
    void SetUp() override {
        wall = Viewer();
        ASSERT_NE(wall, nullptr);
        target = std::make_unique<DrawTarget>(1000, 700);
        ASSERT_TRUE(target->Complete());
        target->Bind();
        ClearWall(wall);
    }

    void TearDown() override {
        ClearWall(wall);
        // ClearWall empties only the lists in use; some tests list images
        // beyond the count.
        for (auto& column : wall->columns) column.clear();
        target.reset();
        int32_t width = 0;
        int32_t height = 0;
        ClientSizeForTest(wall->hwnd, &width, &height);
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        wall->clientWidth = width;
        wall->clientHeight = height;
        wall->columnWidth = 250;
        wall->columnCount = 0;
        SetViewport(wall, width, height);
    }

    // The client area DrawWall is told about, with the viewport to match, as
    // the window procedure sets both on a size change.
    void Layout(int32_t width, int32_t height, int32_t columnWidth, int32_t columnCount) {
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        wall->clientWidth = width;
        wall->clientHeight = height;
        wall->columnWidth = columnWidth;
        wall->columnCount = columnCount;
        SetViewport(wall, width, height);
    }

    int32_t Add(int32_t column, const WallImage& image, int32_t top) {
        wall->images.push_back(image);
        wall->images.back().top = top;
        int32_t index = static_cast<int32_t>(wall->images.size()) - 1;
        wall->columns[column].push_back(index);
        return index;
    }

    Picture Draw() {
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        DrawWall(wall);
        // Nothing on the way may have switched the framebuffer.
        EXPECT_EQ(target->Bound(), static_cast<GLint>(target->Name()));
        return ReadPicture(wall->clientWidth, wall->clientHeight);
    }

    Rgba DrawAndSample(int x, int y) {
        Picture picture = Draw();
        return picture.At(x, y);
    }

    GifWall* wall = nullptr;
    std::unique_ptr<DrawTarget> target;
};

// Compares every pixel with what a rectangle of two halves over grey gives.
::testing::AssertionResult ShowsSplitRectangle(const Picture& picture, int left, int top, int width,
                                               int height) {
    int mismatches = 0;
    std::string first;
    for (int y = 0; y < picture.height; ++y) {
        for (int x = 0; x < picture.width; ++x) {
            bool inside = x >= left && x < left + width && y >= top && y < top + height;
            Rgba expected = !inside ? kGrey : (x < left + width / 2 ? kRed : kBlue);
            Rgba got = picture.At(x, y);
            if (got != expected) {
                if (mismatches++ < 4) {
                    char text[96];
                    std::snprintf(text, sizeof text, " (%d,%d) %08X want %08X;", x, y, got, expected);
                    first += text;
                }
            }
        }
    }
    if (mismatches == 0) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << mismatches << " pixels differ:" << first;
}

TEST_F(DrawWallTest, WithoutColumnsTheFrameIsPlainGrey) {
    Layout(800, 600, 250, 0);
    WallImage image = MakeSolidImage({kRed}, {4}, 250, 250);
    Add(0, image, 0);  // listed, but column 0 is not in use
    Picture picture = Draw();
    for (Rgba pixel : picture.pixels) ASSERT_EQ(pixel, kGrey);
    EXPECT_EQ(wall->images[0].frames[0].elapsed, 0);
}

TEST_F(DrawWallTest, ImageCoversItsColumnTopWidthAndAspect) {
    struct Row {
        const char* what;
        int32_t W, H, CW, NC, column, top, imageWidth, imageHeight;
        int left, topPx, width, height;
    };
    const Row rows[] = {
        {"M 25, column 1 at 275", 800, 600, 250, 3, 1, 0, 250, 125, 275, 0, 250, 125},
        {"W 801: M 25, not 26", 801, 600, 250, 3, 2, 300, 250, 125, 525, 300, 250, 125},
        {"W 199: M -25, not -26", 199, 600, 250, 1, 0, 0, 250, 100, -25, 0, 250, 100},
        {"start-up size: from x 5", 760, 600, 250, 3, 0, 20, 250, 50, 5, 20, 250, 50},
        {"seven columns of 100", 760, 600, 100, 7, 6, 50, 100, 40, 630, 50, 100, 40},
        {"aspect of the image's own width", 800, 600, 250, 3, 0, 10, 125, 100, 25, 10, 250, 200},
        {"H 500: 250 x 125 is w 0.5", 800, 500, 250, 3, 1, 100, 250, 125, 275, 100, 250, 125},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        ClearWall(wall);
        for (auto& column : wall->columns) column.clear();
        Layout(row.W, row.H, row.CW, row.NC);
        WallImage image;
        image.width = row.imageWidth;
        image.height = row.imageHeight;
        image.buffer = MakeQuadBuffer();
        image.active = true;
        image.frames.push_back(FrameTexture{100, 0, SplitTexture()});
        Add(row.column, image, row.top);
        EXPECT_TRUE(ShowsSplitRectangle(Draw(), row.left, row.topPx, row.width, row.height));
    }
}

TEST_F(DrawWallTest, TransparentTexelsLeaveTheGrey) {
    Layout(800, 600, 250, 3);
    // Top row: opaque red, transparent green; bottom row: transparent
    // blue, opaque yellow. The colour of a transparent texel must not show.
    std::vector<uint8_t> rgba = {255, 0, 0, 255, 0, 255, 0, 0, 0, 0, 255, 0, 255, 255, 0, 255};
    WallImage image;
    image.width = 250;
    image.height = 250;
    image.buffer = MakeQuadBuffer();
    image.active = true;
    image.frames.push_back(FrameTexture{100, 0, MakeTexture(2, 2, rgba)});
    Add(1, image, 0);
    Picture picture = Draw();
    EXPECT_EQ(picture.At(275 + 10, 10), kRed);
    EXPECT_EQ(picture.At(275 + 240, 10), kGrey);
    EXPECT_EQ(picture.At(275 + 10, 240), kGrey);
    EXPECT_EQ(picture.At(275 + 240, 240), kYellow);
}

TEST_F(DrawWallTest, LoadedFileIsStretchedToTheColumnWidth) {
    // 100 x 50, left half red and right half blue, loaded at 250/250:
    // textures stay 100 x 50 and the drawing makes it 250 x 125.
    EncodedGif gif;
    gif.screenWidth = 100;
    gif.screenHeight = 50;
    gif.globalPalette = {255, 0, 0, 0, 0, 255};
    EncodedImage frame;
    frame.width = 100;
    frame.height = 50;
    frame.indices.resize(100 * 50);
    for (int y = 0; y < 50; ++y) {
        for (int x = 0; x < 100; ++x) frame.indices[static_cast<size_t>(y) * 100 + x] = x < 50 ? 0 : 1;
    }
    gif.images.push_back(frame);
    auto folder = FreshFolder("draw_wall");
    auto path = folder / "half.gif";
    ASSERT_TRUE(WriteBytes(path.string(), EncodeGif(gif)));

    Layout(800, 600, 250, 3);
    const int savedScale = gScaleWidth;
    gScaleWidth = 250;
    ResetStage(wall);
    ASSERT_EQ(LoadGif(wall, path.string()), 0);
    gScaleWidth = savedScale;
    EXPECT_EQ(PlaceStaged(wall, true), 1);
    ResetStage(wall);
    EXPECT_TRUE(ShowsSplitRectangle(Draw(), 25, 0, 250, 125));
}

TEST_F(DrawWallTest, FramesAdvanceAfterTheirDelayInTwoHundredthsPerDraw) {
    struct Row {
        int32_t delay;
        int drawsShown;  // draws that show frame 0 before frame 1 comes
    };
    const Row rows[] = {{0, 1}, {1, 1}, {2, 1}, {3, 2}, {4, 2}, {5, 3}, {10, 5}, {11, 6}};
    for (const Row& row : rows) {
        SCOPED_TRACE("delay " + std::to_string(row.delay));
        ClearWall(wall);
        Layout(800, 600, 250, 3);
        WallImage image = MakeSolidImage({kRed, kBlue}, {row.delay, 100}, 250, 100);
        image.frames[1].elapsed = 7;  // left over from an earlier turn
        int32_t index = Add(0, image, 0);
        const WallImage& shown = wall->images[index];
        for (int draw = 1; draw <= row.drawsShown; ++draw) {
            EXPECT_EQ(DrawAndSample(100, 50), kRed) << "draw " << draw;
            if (draw < row.drawsShown) {
                EXPECT_EQ(shown.currentFrame, 0) << "draw " << draw;
                EXPECT_EQ(shown.frames[0].elapsed, 2 * draw);
                EXPECT_EQ(shown.frames[1].elapsed, 7) << "a waiting frame keeps its time";
            }
        }
        EXPECT_EQ(shown.currentFrame, 1);
        EXPECT_EQ(shown.frames[1].elapsed, 0);
        EXPECT_EQ(DrawAndSample(100, 50), kBlue);
        EXPECT_EQ(shown.frames[1].elapsed, 2);
    }
}

TEST_F(DrawWallTest, AnimationWrapsToTheFirstFrameAndSingleFramesRestart) {
    Layout(800, 600, 250, 3);
    int32_t two = Add(0, MakeSolidImage({kRed, kBlue}, {2, 2}, 250, 100), 0);
    int32_t single = Add(1, MakeSolidImage({kGreen}, {5}, 250, 100), 0);
    wall->images[two].frames[0].elapsed = 9;

    const int expectedTwo[] = {1, 0, 1, 0};
    const int expectedSingleElapsed[] = {2, 4, 0, 2};
    for (int draw = 0; draw < 4; ++draw) {
        Draw();
        EXPECT_EQ(wall->images[two].currentFrame, expectedTwo[draw]) << "draw " << draw + 1;
        EXPECT_EQ(wall->images[single].currentFrame, 0);
        EXPECT_EQ(wall->images[single].frames[0].elapsed, expectedSingleElapsed[draw]);
    }
    EXPECT_EQ(wall->images[two].frames[0].elapsed, 0) << "reset when it became current again";
}

TEST_F(DrawWallTest, InactiveAndUnusedImagesAreNeitherDrawnNorAdvanced) {
    Layout(800, 600, 250, 2);
    WallImage released = MakeSolidImage({kRed, kBlue}, {0, 0}, 250, 100);
    ReleaseImage(&released);
    int32_t inactive = Add(0, released, 100);
    int32_t after = Add(0, MakeSolidImage({kGreen, kYellow}, {0, 0}, 250, 100), 0);
    int32_t beyond = Add(2, MakeSolidImage({kRed, kBlue}, {0, 0}, 250, 100), 0);

    Picture picture = Draw();
    EXPECT_EQ(picture.At(150, 150), kGrey) << "the inactive image's place";
    EXPECT_EQ(picture.At(150, 50), kGreen) << "the image after it is drawn";
    EXPECT_EQ(wall->images[inactive].currentFrame, 0);
    EXPECT_EQ(wall->images[inactive].frames[0].elapsed, 0);
    EXPECT_EQ(wall->images[after].currentFrame, 1);
    EXPECT_EQ(wall->images[beyond].currentFrame, 0);
    EXPECT_EQ(wall->images[beyond].frames[0].elapsed, 0);
    for (int x = 0; x < 800; x += 5) EXPECT_NE(picture.At(x, 50), kRed);
}

TEST_F(DrawWallTest, ClearWallPaintsTheWindowGrey) {
    Layout(800, 600, 250, 1);
    Add(0, MakeSolidImage({kRed}, {10}, 250, 250), 0);
    ASSERT_EQ(DrawAndSample(400, 100), kRed);
    wall->playing = true;
    ClearWall(wall);
    Picture picture = ReadPicture(800, 600);
    for (Rgba pixel : picture.pixels) ASSERT_EQ(pixel, kGrey);
}

}  // namespace
