// Ticks that redraw only what changed: every tick must leave exactly the
// picture a whole redraw at the same animation time gives, a tick without
// change must do no GL drawing and no present, and an exposed window must
// get the whole wall back.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "gif/gif_decoder.h"
#include "render/load_gif.h"
#include "render/render.h"
#include "viewer_gl_util.h"
#include "wall_gifs.h"

namespace {

// Rows top to bottom.
std::vector<Rgba> Flip(const std::vector<Rgba>& rows, int w, int h) {
    std::vector<Rgba> out(rows.size());
    for (int y = 0; y < h; ++y)
        std::copy_n(rows.begin() + (h - 1 - y) * w, w, out.begin() + y * w);
    return out;
}

int Differing(const std::vector<Rgba>& a, const std::vector<Rgba>& b) {
    int n = 0;
    for (size_t i = 0; i < a.size() && i < b.size(); ++i) {
        n += a[i] != b[i];
    }
    return n + int(a.size() != b.size());
}

// GL primitives drawn by f.
template <class F>
GLuint PrimitivesDrawnBy(F f) {
    GLuint query = 0, count = 0;
    glGenQueries(1, &query);
    glBeginQuery(GL_PRIMITIVES_GENERATED, query);
    f();
    glEndQuery(GL_PRIMITIVES_GENERATED);
    glGetQueryObjectuiv(query, GL_QUERY_RESULT, &count);
    glDeleteQueries(1, &query);
    return count;
}

class PartialDrawTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(wall, nullptr);
        ClearWall(wall);
        gScaleWidth = 250;
        wall->columnWidth = 150;
        // Sprites and full-frame animations, scaled down and not, delays
        // from every draw to every fifth.
        const auto folder = FreshFolder("partial");
        for (int i = 0; i < 10; ++i) {
            const int w = 90 + 31 * i, h = 70 + 17 * (i % 4), frames = 5 + i % 4, delay = 2 + i % 5;
            std::string name = "g";  // built in steps: GCC 12 warns falsely on "g" + string
            name += std::to_string(i) + ".gif";
            const auto path = (folder / name).string();
            // Every fourth one has transparent holes: blended, not opaque.
            WriteBytes(path, i % 2 ? wallgifs::FullFrameGif(w, h, frames, delay, i)
                                   : wallgifs::SpriteGif(w, h, frames, delay, i, i % 4 == 0));
            files.push_back(path);
        }
        // Full-frame animations as wide as the column and not scaled: one
        // texel to one pixel, so their changes are copied, not drawn.
        for (int i = 0; i < 2; ++i) {
            const auto path = (folder / ("exact" + std::to_string(i) + ".gif")).string();
            WriteBytes(path, wallgifs::FullFrameGif(150, 90 + 40 * i, 6, 2 + i, 20 + i));
            files.push_back(path);
        }
    }
    void TearDown() override {
        wall->playing = false;
        ClearWall(wall);
    }
    void Layout(int W, int H) {
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        wall->clientWidth = W;
        wall->clientHeight = H;
        SetViewport(wall, W, H);
    }
    // Loads the next file and places it; false when the wall is full.
    bool Add(bool shortest) {
        ResetStage(wall);
        EXPECT_EQ(LoadGif(wall, files[next++ % files.size()]), 0);
        const int32_t result = PlaceStaged(wall, shortest);
        ResetStage(wall);
        return result != -1;
    }
    void Fill() {
        wall->columnCount = ColumnCountFor(wall, wall->clientWidth);
        while (Add(true)) {
        }
        wall->playing = true;
    }
    GifWall* wall = StartTestViewer();
    std::vector<std::string> files;
    size_t next = 0;
};

TEST_F(PartialDrawTest, EveryTickShowsWhatAWholeRedrawAtTheSameAnimationTimeShows) {
    Target kept, reference;
    Layout(760, 600);
    Fill();
    int partial = 0, full = 0, copies = 0;
    for (int tick = 0; tick < 160; ++tick) {
        // The script: timed adds that push down and drop, a wider window
        // (relayout), a resize that keeps the columns, a cleared and
        // refilled wall.
        if (tick % 23 == 11) Add(false);
        if (tick == 60) {
            Layout(920, 640);
            Relayout();
        }
        if (tick == 90) Layout(940, 600);
        if (tick == 120) {
            ClearWall(wall);
            glBindFramebuffer(GL_FRAMEBUFFER, kept.framebuffer);
            Fill();
        }
        const int W = wall->clientWidth, H = wall->clientHeight;
        glBindFramebuffer(GL_FRAMEBUFFER, reference.framebuffer);
        DrawWholeWall(wall);
        const std::vector<Rgba> whole = ReadPixels(W, H);
        glBindFramebuffer(GL_FRAMEBUFFER, kept.framebuffer);
        DrawWall(wall);
        ASSERT_EQ(Differing(ReadPixels(W, H), whole), 0) << "tick " << tick;
        const WallDrawStats stats = LastWallDrawStats();
        full += stats.full;
        partial += stats.drawn && !stats.full;
        copies += stats.copies;
    }
    // The script must have gone through every kind of tick.
    EXPECT_GT(partial, 60);
    EXPECT_EQ(full, 4) << "the start, both resizes and the refill draw everything";
    EXPECT_GT(copies, 20) << "frames shown one texel to one pixel were copied";
    // A sprite's move changes a small box of its canvas; a full-frame
    // animation changes about all of it.
    ResetStage(wall);
    ASSERT_EQ(LoadGif(wall, files[2]), 0);  // a sprite, 152 x 104
    auto changedArea = [](const FrameTexture& f) {
        return (f.change.right - f.change.left) * (f.change.bottom - f.change.top);
    };
    int split = 0;
    for (const FrameTexture& f : wall->pendingImage.frames) {
        EXPECT_EQ(f.canvasWidth, 152);
        EXPECT_GT(changedArea(f), 0);
        EXPECT_LT(changedArea(f), 152 * 104 / 6);
        split += f.changePartCount > 1;
    }
    EXPECT_GT(split, 0) << "the sprite's old and new places are redrawn apart";
    ReleaseImage(&wall->pendingImage);
    ResetStage(wall);
    ASSERT_EQ(LoadGif(wall, files[3]), 0);  // stripes, 183 x 121
    for (const FrameTexture& f : wall->pendingImage.frames) EXPECT_GT(changedArea(f), 183 * 121 * 3 / 4);
    ReleaseImage(&wall->pendingImage);
    ResetStage(wall);
    ASSERT_EQ(LoadGif(wall, files[0]), 0);  // a sprite with holes
    for (const FrameTexture& f : wall->pendingImage.frames) EXPECT_FALSE(f.opaque);
    ReleaseImage(&wall->pendingImage);
    ResetStage(wall);
}

TEST_F(PartialDrawTest, QuietTicksDrawAndPresentNothingAndAnExposureGetsTheWholeWallBack) {
    int32_t W = 0, H = 0;
    ClientSizeForTest(wall->hwnd, &W, &H);
    ASSERT_GT(W * H, 0);
    Layout(W, H);
    Target reference;
    glBindFramebuffer(GL_FRAMEBUFFER, 0);  // the window's own buffer
    ASSERT_TRUE(CanPresentGlRects(wall->hdc)) << "Mesa's GLX has GLX_MESA_copy_sub_buffer";
    // Frames that stay for a long time, and one image whose second frame
    // comes after 2 ticks.
    wall->columnCount = 2;
    wall->images = {MakeImage({{1000000, 0, Tex({kRed})}, {1000000, 0, Tex({kBlue})}}),
                    MakeImage({{4, 0, Tex({kGreen})}, {1000000, 0, Tex({kBlue, kRed}, 2, 1)}}, 250, 250)};
    wall->images[1].top = 150;  // clear of the first one, rounding pixels included
    wall->columns[0] = {0};
    wall->columns[1] = {1};
    wall->playing = true;
    uint64_t swaps = 0, presents = 0, swapsNow = 0, presentsNow = 0;
    auto wholeWall = [&] {
        glBindFramebuffer(GL_FRAMEBUFFER, reference.framebuffer);
        DrawWholeWall(wall);
        std::vector<Rgba> pixels = Flip(ReadPixels(W, H), W, H);
        glBindFramebuffer(GL_FRAMEBUFFER, 0);
        return pixels;
    };
    auto onScreen = [&] {
        glFinish();
        std::vector<uint32_t> pixels;
        EXPECT_TRUE(ReadClientPixelsForTest(wall->hwnd, W, H, &pixels));
        return pixels;
    };

    GlPresentCountsForTest(&swaps, &presents);
    EXPECT_EQ(PrimitivesDrawnBy([&] { DrawWall(wall); }), 4u) << "first tick: both images";
    std::vector<Rgba> expected = wholeWall();
    EXPECT_EQ(Differing(onScreen(), expected), 0);
    // The second tick changes the green image's frame: only that is drawn.
    EXPECT_EQ(PrimitivesDrawnBy([&] { DrawWall(wall); }), 0u);
    expected = wholeWall();
    EXPECT_EQ(PrimitivesDrawnBy([&] { DrawWall(wall); }), 4u) << "its grey and the image";
    EXPECT_EQ(Differing(onScreen(), expected), 0) << "the partial present lands where it was drawn";
    GlPresentCountsForTest(&swapsNow, &presentsNow);
    EXPECT_EQ(swapsNow - swaps, 0u);
    EXPECT_EQ(presentsNow - presents, 2u);

    for (int tick = 0; tick < 5; ++tick) {
        EXPECT_EQ(PrimitivesDrawnBy([&] { DrawWall(wall); }), 0u) << tick;
        EXPECT_FALSE(LastWallDrawStats().drawn);
    }
    GlPresentCountsForTest(&swaps, &presents);
    EXPECT_EQ(swaps - swapsNow, 0u);
    EXPECT_EQ(presents - presentsNow, 0u) << "quiet ticks present nothing";
    EXPECT_EQ(wall->images[0].frames[0].elapsed, 16) << "yet the animations went on";

    ExposeClientForTest(wall->hwnd);
    EXPECT_NE(Differing(onScreen(), expected), 0) << "the exposure erased the window";
    EXPECT_EQ(PrimitivesDrawnBy([&] { DrawWall(wall); }), 4u);
    EXPECT_TRUE(LastWallDrawStats().full);
    EXPECT_EQ(Differing(onScreen(), expected), 0);
}

// Presents are merged where a box around several costs less than their
// round trips; no presented pixel may be lost on the way.
TEST(MergePresents, NearbyRectanglesGoTogetherDistantOnesStayApartAndEveryPixelStaysCovered) {
    const struct {
        const char* what;
        std::vector<GlRect> rects;
        size_t presents;
    } rows[] = {
        {"none", {}, 0},
        {"one", {{5, 6, 7, 8}}, 1},
        {"side by side", {{0, 0, 100, 100}, {100, 0, 100, 100}}, 1},
        {"a wall's worth of images", {{0, 0, 250, 180}, {250, 40, 250, 300}, {500, 300, 250, 200}}, 1},
        {"opposite corners of a 4K screen", {{0, 0, 64, 64}, {3776, 2096, 64, 64}}, 2},
        // The third joins the first two into one box that is worth it.
        {"a gap filled later", {{0, 0, 300, 300}, {1000, 0, 300, 300}, {300, 0, 700, 300}}, 1},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(MergePresents(row.rects).size(), row.presents) << row.what;
    }

    std::mt19937 random(3);
    for (int round = 0; round < 200; ++round) {
        const int W = 40 + static_cast<int>(random() % 2000), H = 40 + static_cast<int>(random() % 1200);
        std::vector<GlRect> rects(1 + random() % 12);
        for (GlRect& r : rects) {
            r.width = 1 + static_cast<int32_t>(random() % 300);
            r.height = 1 + static_cast<int32_t>(random() % 300);
            r.x = static_cast<int32_t>(random() % W);
            r.y = static_cast<int32_t>(random() % H);
        }
        const std::vector<GlRect> merged = MergePresents(rects);
        EXPECT_LE(merged.size(), rects.size());
        auto held = [](const std::vector<GlRect>& list, int32_t x, int32_t y) {
            for (const GlRect& r : list)
                if (x >= r.x && x < r.x + r.width && y >= r.y && y < r.y + r.height) return true;
            return false;
        };
        int missed = 0;
        for (const GlRect& r : rects)
            for (int32_t y = r.y; y < r.y + r.height; ++y)
                for (int32_t x = r.x; x < r.x + r.width; ++x) missed += !held(merged, x, y);
        EXPECT_EQ(missed, 0) << "round " << round;
    }
}

}  // namespace
