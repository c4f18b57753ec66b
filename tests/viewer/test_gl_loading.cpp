// LoadGif, ReleaseImage and LoadShaderProgram on the viewer's main context.
#include <gtest/gtest.h>
#include <unistd.h>

#include <fstream>

#include "gif/gif_decoder.h"
#include "render/load_gif.h"
#include "render/render.h"
#include "viewer_gl_util.h"

namespace {

// The decoder's own canvases of a file, in order.
struct Canvases : GifFrameSink {
    void Frame(const GifFrame& f) override {
        rgba.emplace_back(f.rgba, f.rgba + size_t(f.width) * f.height * 4);
        delays.push_back(f.delay);
    }
    std::vector<std::vector<uint8_t>> rgba;
    std::vector<int32_t> delays;
};

// n images of a w x h screen, each its own pattern; image bad reaches outside.
std::string WriteGif(int w, int h, int n, int bad = -1) {
    EncodedGif gif{w, h, {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255}, 0, true, 0, {}};
    for (int t = 0; t < n; ++t) {
        EncodedImage im{t == bad, 0, w, h, {}, {}, false, true, t, 1, -1};  // delay t
        for (int i = 0; i < w * h; ++i) im.indices.push_back(uint8_t((i % w + i / w * 3 + t) % 4));
        gif.images.push_back(im);
    }
    const std::string path = (FreshFolder("load_gif") / "a.gif").string();
    WriteBytes(path, EncodeGif(gif));
    return path;
}

TEST(LoadGifTest, TexturesHoldTheDecodersCanvasesAndTheDrawnHeightKeepsTheProportions) {
    GifWall* wall = StartTestViewer();
    gScaleWidth = 250;
    // {file width, height, texture width, height, column width, pendingHeight}
    const int rows[][6] = {{400, 300, 250, 187, 250, 187},
                           {100, 50, 100, 50, 250, 125},
                           {400, 299, 250, 186, 400, 299}};  // from the file, not the canvas
    for (const auto& r : rows) {
        wall->columnWidth = r[4];
        const std::string path = WriteGif(r[0], r[1], 4);
        Canvases canvases;
        ASSERT_EQ(DecodeGifFile(path.c_str(), &canvases), 4);
        ResetStage(wall);
        ASSERT_EQ(LoadGif(wall, path), 0);
        WallImage& image = wall->pendingImage;
        EXPECT_EQ(wall->pendingHeight, r[5]);
        ASSERT_EQ(image.frames.size(), 4u);
        for (size_t i = 0; i < 4; ++i) {
            GLint w = 0, h = 0;
            glBindTexture(GL_TEXTURE_2D, image.frames[i].texture);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &w);
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &h);
            EXPECT_EQ(std::pair(w, h), std::pair(r[2], r[3]));
            std::vector<uint8_t> texels(size_t(w) * h * 4);
            glPixelStorei(GL_PACK_ALIGNMENT, 1);
            glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, texels.data());
            EXPECT_TRUE(texels == canvases.rgba[i]) << "frame " << i;
            EXPECT_EQ(image.frames[i].delay, canvases.delays[i]);
        }
        const WallImage loaded = image;
        EXPECT_EQ(ReleaseImage(&image), 1);
        EXPECT_EQ(LiveObjects(loaded), 0u);
        EXPECT_EQ(ReleaseImage(&image), 0);
    }
}

TEST(LoadGifTest, FailedFilesLeaveNoLiveObject) {
    GifWall* wall = StartTestViewer();
    GLint max = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &max);
    ASSERT_LT(max, 65535) << "GIF sizes cannot exceed it";
    const std::string big = (FreshFolder("big") / "big.gif").string();
    // {path, file width, height, scale width, textures made before the
    // failure}: the canvas after scaling must fit GL_MAX_TEXTURE_SIZE.
    const std::tuple<std::string, int, int, int, int> rows[] = {
        {WriteGif(30, 20, 5, 4), 0, 0, 250, 4},
        {"/nonexistent/a.gif", 0, 0, 250, 0},
        {big, 1, max + 1, 250, 0},
        {big, max + 1, 100, max + 1, 0},
        {big, 1, max, 250, -1},
        // a max x 1 file is drawn 0 pixels high in a 250 column: no budget
        {big, max, 1, max, 0},
        {big, max + 1, 100, 250, -1}};
    for (const auto& [path, w, h, scale, textures] : rows) {
        if (w) WriteSolidGif(big, w, h, 1);
        gScaleWidth = scale;
        ResetStage(wall);
        EXPECT_EQ(LoadGif(wall, path), textures < 0 ? 0 : 1)
            << path << " " << w << "x" << h << " at " << scale;
        EXPECT_EQ(wall->pendingImage.frames.size(), size_t(textures < 0 ? 1 : textures));
        EXPECT_EQ(wall->pendingImage.buffer != 0, textures != 0)
            << "nothing is made for a missing file";
        EXPECT_EQ(LiveObjects(wall->pendingImage), textures < 0 ? 2u : 0u);
        ReleaseImage(&wall->pendingImage);
    }
    gScaleWidth = wall->columnWidth = 250;
}

// A file of many frames stops at the frame that would pass its texture
// budget: that frame is never uploaded and everything made is freed.
TEST(LoadGifTest, AFileStopsAtTheFrameThatWouldPassItsBudgetAndFreesWhatItMade) {
    GifWall* wall = StartTestViewer();
    gScaleWidth = wall->columnWidth = 250;
    const uint64_t savedBudget = gFileTextureBudget;
    const uint64_t frame = 250 * 250 * 4;  // a 500 x 500 file at 250
    const std::string path = (FreshFolder("budget") / "many.gif").string();
    WriteSolidGif(path, 500, 500, 40);
    struct Row {
        uint64_t budget;
        int32_t result;
        size_t framesMade;
    };
    // 40 frames exactly fit, one byte less stops before the 40th, and a
    // budget of less than one frame makes nothing at all.
    const Row rows[] = {{40 * frame, 0, 40}, {40 * frame - 1, 1, 39}, {12 * frame + 5, 1, 12},
                        {frame - 1, 1, 0}};
    for (const Row& row : rows) {
        gFileTextureBudget = row.budget;
        const int64_t liveBefore = LiveFrameTextures();
        ResetStage(wall);
        EXPECT_EQ(LoadGif(wall, path), row.result) << row.budget;
        EXPECT_EQ(wall->pendingImage.frames.size(), row.framesMade) << row.budget;
        const WallImage made = wall->pendingImage;
        if (row.result == 0) {
            EXPECT_EQ(LiveFrameTextures() - liveBefore, 40);
            ReleaseImage(&wall->pendingImage);
        }
        EXPECT_EQ(LiveObjects(made), 0u) << "no GL object of a failed file stays alive";
        EXPECT_EQ(LiveFrameTextures(), liveBefore);
    }
    // Flatter than square: the budget shrinks with the drawn height. A
    // 500 x 100 file is drawn 50 high, so it gets a fifth of the budget.
    gFileTextureBudget = 40 * frame;
    EXPECT_EQ(FileTextureBudget(50, 250), 8 * frame);
    EXPECT_EQ(FileTextureBudget(250, 250), 40 * frame);
    EXPECT_EQ(FileTextureBudget(0, 250), 0u);
    WriteSolidGif(path, 500, 100, 41);  // 41 frames of 250 x 50 x 4 = 8.2 x frame
    ResetStage(wall);
    EXPECT_EQ(LoadGif(wall, path), 1);
    EXPECT_EQ(wall->pendingImage.frames.size(), 40u);
    EXPECT_EQ(LiveObjects(wall->pendingImage), 0u);
    gFileTextureBudget = savedBudget;
}

// A long load on the UI thread hands over to the window's events once 100
// ms have passed since the last time. A clock that moves 50 ms at every
// look makes each load long.
TEST(LoadGifTest, ALongLoadHandlesEventsEveryTenthOfASecond) {
    GifWall* wall = StartTestViewer();
    gScaleWidth = wall->columnWidth = 250;
    const std::string path = (FreshFolder("long") / "long.gif").string();
    WriteSolidGif(path, 250, 250, 60);
    static uint32_t now;
    static std::vector<uint32_t> calls;
    now = 0;
    calls.clear();
    SetClockForTest([] { return now += 50; });
    SetEventsWhileLoading([] { calls.push_back(now); });
    ResetStage(wall);
    EXPECT_EQ(LoadGif(wall, path), 0);
    const uint32_t end = now;
    SetEventsWhileLoading(nullptr);
    EXPECT_EQ(LoadGif(wall, path), 0) << "without a hook nothing is called";
    SetClockForTest(nullptr);
    ReleaseImage(&wall->pendingImage);
    calls.push_back(end);
    // Every look after 100 ms calls it: one call every second frame.
    EXPECT_EQ(calls.size(), 31u);
    uint32_t last = 0;
    for (uint32_t t : calls) {
        EXPECT_LE(t - last, 150u);
        last = t;
    }
}

TEST(ShaderLogTest, PrintsEachStepWithTheDriversLogsOrOneLineWithoutTheVertexFile) {
    ASSERT_NE(StartTestViewer(), nullptr);
    ASSERT_EQ(chdir(FreshFolder("shaders").c_str()), 0);
    const std::string vtx = "void main()\n{\n    gl_Position = vec4(0.0);\n}";
    const std::string flg = "void main()\n{\n    gl_FragColor = vec4(1.0);\n}";
    const bool rows[][2] = {{true, true}, {true, false}, {false, true}};  // {vtx.c, flg.c}
    for (const auto& [withVertex, withFragment] : rows) {
        std::remove("vtx.c");
        std::remove("flg.c");
        if (withVertex) std::ofstream("vtx.c") << vtx;
        if (withFragment) std::ofstream("flg.c") << flg;
        std::ofstream("stdin.txt") << "xy";
        ASSERT_NE(std::freopen("stdin.txt", "r", stdin), nullptr);
        ::testing::internal::CaptureStdout();
        const uint32_t program = LoadShaderProgram();
        const std::string out = ::testing::internal::GetCapturedStdout();
        const std::string compiling = "Compiling shader : vtx.c\nCompiling shader : flg.c\n";
        if (!withVertex) {
            EXPECT_EQ(out,
                      "Impossible to open vtx.c. Are you in the right directory ? Don't "
                      "forget to read the FAQ !\n");
        } else if (withFragment) {  // the driver logs nothing for these
            EXPECT_EQ(out, compiling + "Linking program\n");
        } else {  // an empty fragment source: the driver's error log comes before the link
            EXPECT_EQ(out.rfind(compiling, 0), 0u) << out;
            const size_t link = out.find("Linking program\n");
            EXPECT_TRUE(link != std::string::npos && link > compiling.size()) << out;
        }
        EXPECT_EQ(program != 0, withVertex);
        EXPECT_EQ(std::getchar(), withVertex ? 'x' : 'y')
            << "one character is read only without vtx.c";
    }
    ASSERT_EQ(chdir(REELSTACK_RUNTIME_DIR), 0);
}

}  // namespace
