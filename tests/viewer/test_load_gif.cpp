// LoadGif and ReleaseImage on the viewer's main context: texture and drawn
// sizes, texture contents against the decoder's canvases, delays, the
// vertex buffer, clean-up after failures, and frames GL cannot hold.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"
#include "gif/load_gif.h"
#include "viewer_gl_util.h"

namespace {

namespace fs = std::filesystem;

struct Canvas {
    std::vector<uint8_t> rgba;
    int32_t width = 0;
    int32_t height = 0;
    int32_t delay = 0;
};

// The decoder's own view of a file: every composed canvas, in order.
class CanvasSink : public GifFrameSink {
public:
    void Frame(const GifFrame& frame) override {
        Canvas canvas;
        canvas.rgba.assign(frame.rgba, frame.rgba + static_cast<size_t>(frame.width) * frame.height * 4);
        canvas.width = frame.width;
        canvas.height = frame.height;
        canvas.delay = frame.delay;
        canvases.push_back(std::move(canvas));
    }
    std::vector<Canvas> canvases;
};

std::vector<Canvas> DecodeCanvases(const fs::path& path) {
    CanvasSink sink;
    DecodeGifFile(path.string().c_str(), &sink);
    return sink.canvases;
}

void TextureSize(GLuint texture, GLint* width, GLint* height) {
    glBindTexture(GL_TEXTURE_2D, texture);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, height);
}

std::vector<uint8_t> TextureBytes(GLuint texture) {
    GLint width = 0;
    GLint height = 0;
    TextureSize(texture, &width, &height);
    std::vector<uint8_t> bytes(static_cast<size_t>(width) * height * 4);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_UNSIGNED_BYTE, bytes.data());
    return bytes;
}

std::vector<uint8_t> Palette8() {
    return {0, 0, 0, 255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 0, 255, 0, 255, 0, 255, 255, 255, 255, 255};
}

EncodedImage PatternImage(int left, int top, int width, int height, int seed) {
    EncodedImage image;
    image.left = left;
    image.top = top;
    image.width = width;
    image.height = height;
    image.indices.resize(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            image.indices[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>((x * 3 + y + seed) % 8);
        }
    }
    return image;
}

// Ten images that compose: partial rectangles, transparency, disposal 2,
// interlace and a local table; the first has no control extension.
EncodedGif TenImageGif(int screenWidth, int screenHeight) {
    EncodedGif gif;
    gif.screenWidth = screenWidth;
    gif.screenHeight = screenHeight;
    gif.globalPalette = Palette8();
    const int w = screenWidth;
    const int h = screenHeight;
    const int delays[10] = {-1, 0, 3, 7, 1, 2, 10, 4, 0, 11};
    for (int t = 0; t < 10; ++t) {
        EncodedImage image = t == 0 ? PatternImage(0, 0, w, h, 0)
                                    : PatternImage(t, t / 2, w / 2 + t, h / 2 + t / 2, t);
        if (t == 0) {
            image.writeControl = false;
        } else {
            image.delay = delays[t];
        }
        if (t == 2 || t == 6) image.transparentIndex = 3;
        if (t == 4) image.disposal = 2;
        if (t == 5) image.interlaced = true;
        if (t == 7) image.localPalette = {10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120,
                                          130, 140, 150, 160, 170, 180, 190, 200, 210, 220, 230, 240};
        gif.images.push_back(std::move(image));
    }
    return gif;
}

class LoadGifTest : public ::testing::Test {
protected:
    void SetUp() override {
        wall = Viewer();
        ASSERT_NE(wall, nullptr);
        savedScaleWidth = gScaleWidth;
        savedColumnWidth = wall->columnWidth;
        ResetStage(wall);
        folder = FreshFolder("load_gif");
    }

    void TearDown() override {
        ReleaseImage(&wall->pendingImage);
        ResetStage(wall);
        gScaleWidth = savedScaleWidth;
        wall->columnWidth = savedColumnWidth;
    }

    fs::path Write(const std::string& name, const EncodedGif& gif) {
        fs::path path = folder / name;
        EXPECT_TRUE(WriteBytes(path.string(), EncodeGif(gif)));
        return path;
    }

    GifWall* wall = nullptr;
    int savedScaleWidth = 0;
    int32_t savedColumnWidth = 0;
    fs::path folder;
};

TEST_F(LoadGifTest, TexturesHaveTheCanvasSizeAndTheDrawnHeightKeepsTheFileProportions) {
    struct Row {
        int fileWidth;
        int fileHeight;
        int scaleWidth;
        int32_t columnWidth;
        GLint textureWidth;
        GLint textureHeight;
        int32_t pendingHeight;
    };
    const Row rows[] = {
        {400, 300, 250, 250, 250, 187, 187},   // downscaled while decoding
        {100, 50, 250, 250, 100, 50, 125},     // narrower: kept, drawn stretched
        {400, 300, 1000, 100, 400, 300, 75},   // column width alone decides the drawn size
        {300, 100, 1000, 100, 300, 100, 33},   // 33.3 truncated
        {250, 250, 250, 250, 250, 250, 250},   // exactly the scale width: not scaled
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.fileWidth) + "x" + std::to_string(row.fileHeight) + " at " +
                     std::to_string(row.scaleWidth) + "/" + std::to_string(row.columnWidth));
        fs::path path = folder / "sized.gif";
        WriteSolidGif(path, row.fileWidth, row.fileHeight, 2);
        gScaleWidth = row.scaleWidth;
        wall->columnWidth = row.columnWidth;
        ResetStage(wall);
        ASSERT_EQ(LoadGif(wall, path.string()), 0);
        EXPECT_EQ(wall->pendingHeight, row.pendingHeight);
        EXPECT_EQ(wall->pendingStatus, -1) << "LoadGif never writes the status";
        ASSERT_EQ(wall->pendingImage.frames.size(), 2u);
        for (const FrameTexture& frame : wall->pendingImage.frames) {
            GLint width = 0;
            GLint height = 0;
            TextureSize(frame.texture, &width, &height);
            EXPECT_EQ(width, row.textureWidth);
            EXPECT_EQ(height, row.textureHeight);
            GLint format = 0;
            glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_INTERNAL_FORMAT, &format);
            EXPECT_EQ(format, GL_RGBA8);
        }
        ReleaseImage(&wall->pendingImage);
    }
}

TEST_F(LoadGifTest, EveryFrameTextureHoldsTheDecodersCanvasWithItsDelay) {
    struct Row {
        const char* name;
        int width;
        int height;
        int scaleWidth;
    };
    const Row rows[] = {{"small.gif", 40, 30, 250}, {"scaled.gif", 400, 300, 250}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        fs::path path = Write(row.name, TenImageGif(row.width, row.height));
        gScaleWidth = row.scaleWidth;
        const std::vector<Canvas> canvases = DecodeCanvases(path);
        ASSERT_EQ(canvases.size(), 10u);
        ResetStage(wall);
        ASSERT_EQ(LoadGif(wall, path.string()), 0);
        const WallImage& image = wall->pendingImage;
        EXPECT_TRUE(image.active);
        EXPECT_EQ(image.currentFrame, 0);
        ASSERT_EQ(image.frames.size(), 10u);
        // No control extension before the first image: 5; a stored 0: 6.
        const int32_t delays[10] = {5, 6, 3, 7, 1, 2, 10, 4, 6, 11};
        for (size_t i = 0; i < 10; ++i) {
            SCOPED_TRACE("frame " + std::to_string(i));
            const FrameTexture& frame = image.frames[i];
            EXPECT_EQ(frame.delay, delays[i]);
            EXPECT_EQ(frame.delay, canvases[i].delay);
            EXPECT_EQ(frame.elapsed, 0);
            EXPECT_TRUE(glIsTexture(frame.texture));
            for (size_t j = 0; j < i; ++j) EXPECT_NE(frame.texture, image.frames[j].texture);
            EXPECT_TRUE(TextureBytes(frame.texture) == canvases[i].rgba)
                << "texture differs from the canvas";
        }
        GLint param = 0;
        glBindTexture(GL_TEXTURE_2D, image.frames[9].texture);
        const struct {
            GLenum name;
            GLint value;
        } params[] = {{GL_TEXTURE_MAG_FILTER, GL_NEAREST},
                      {GL_TEXTURE_MIN_FILTER, GL_NEAREST},
                      {GL_TEXTURE_WRAP_S, GL_CLAMP},
                      {GL_TEXTURE_WRAP_T, GL_CLAMP}};
        for (const auto& p : params) {
            glGetTexParameteriv(GL_TEXTURE_2D, p.name, &param);
            EXPECT_EQ(param, p.value) << std::hex << p.name;
        }
        ReleaseImage(&wall->pendingImage);
    }
}

TEST_F(LoadGifTest, VertexBufferHoldsTheQuad) {
    fs::path path = folder / "quad.gif";
    WriteSolidGif(path, 20, 10, 1);
    ASSERT_EQ(LoadGif(wall, path.string()), 0);
    ASSERT_TRUE(glIsBuffer(wall->pendingImage.buffer));
    glBindBuffer(GL_ARRAY_BUFFER, wall->pendingImage.buffer);
    GLint size = 0;
    glGetBufferParameteriv(GL_ARRAY_BUFFER, GL_BUFFER_SIZE, &size);
    ASSERT_EQ(size, 64);
    float data[16] = {};
    glGetBufferSubData(GL_ARRAY_BUFFER, 0, 64, data);
    const float expected[16] = {1, 0, 1, 0, 0, 0, 0, 0, 1, -1, 1, 1, 0, -1, 0, 1};
    for (int i = 0; i < 16; ++i) EXPECT_EQ(data[i], expected[i]) << "float " << i;
}

TEST_F(LoadGifTest, FailedFilesLeaveNoLiveObject) {
    // Five images, the fifth reaching outside the screen.
    EncodedGif fifthBad;
    fifthBad.screenWidth = 30;
    fifthBad.screenHeight = 20;
    fifthBad.globalPalette = Palette8();
    for (int t = 0; t < 5; ++t) fifthBad.images.push_back(PatternImage(0, 0, 30, 20, t));
    fifthBad.images[4].left = 1;
    fs::path fifthBadPath = Write("fifth_bad.gif", fifthBad);

    EncodedGif noImage;
    noImage.screenWidth = 30;
    noImage.screenHeight = 20;
    noImage.globalPalette = Palette8();
    fs::path noImagePath = Write("no_image.gif", noImage);

    struct Row {
        const char* name;
        fs::path path;
        size_t framesMade;  // textures made before the failure
        bool bufferMade;
        int32_t pendingHeight;  // -1: not reached
    };
    const Row rows[] = {
        {"fifth image corrupt", fifthBadPath, 4, true, 166},
        {"header and trailer only", noImagePath, 0, true, 166},
        {"missing file", folder / "missing.gif", 0, false, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        ResetStage(wall);
        wall->pendingHeight = -1;
        wall->columnWidth = 250;
        gScaleWidth = 250;
        EXPECT_EQ(LoadGif(wall, row.path.string()), 1);
        const WallImage& image = wall->pendingImage;
        EXPECT_FALSE(image.active);
        EXPECT_EQ(wall->pendingStatus, -1);
        EXPECT_EQ(wall->pendingHeight, row.pendingHeight);
        ASSERT_EQ(image.frames.size(), row.framesMade) << "made frames stay listed";
        if (row.bufferMade) {
            EXPECT_NE(image.buffer, 0u);
        } else {
            EXPECT_EQ(image.buffer, 0u) << "nothing may be created for a file that cannot open";
        }
        EXPECT_TRUE(ImageObjectsGone(image));
        // Nothing is left for a later release either.
        EXPECT_EQ(ReleaseImage(&wall->pendingImage), 0);
    }
}

TEST_F(LoadGifTest, FileEndingAfterCompleteImagesLoadsThoseImages) {
    EncodedGif gif;
    gif.screenWidth = 16;
    gif.screenHeight = 8;
    gif.globalPalette = Palette8();
    for (int t = 0; t < 3; ++t) gif.images.push_back(PatternImage(0, 0, 16, 8, t));
    std::vector<uint8_t> bytes = EncodeGif(gif);
    ASSERT_EQ(bytes.back(), 0x3B);
    bytes.pop_back();  // ends where the next block would begin
    fs::path path = folder / "no_trailer.gif";
    ASSERT_TRUE(WriteBytes(path.string(), bytes));
    ASSERT_EQ(LoadGif(wall, path.string()), 0);
    EXPECT_TRUE(wall->pendingImage.active);
    EXPECT_EQ(wall->pendingImage.frames.size(), 3u);
}

TEST_F(LoadGifTest, ReleaseImageFreesOnceAndLeavesTheFrameList) {
    fs::path path = folder / "release.gif";
    WriteSolidGif(path, 8, 8, 3);
    ASSERT_EQ(LoadGif(wall, path.string()), 0);
    WallImage& image = wall->pendingImage;
    const WallImage loaded = image;
    ASSERT_TRUE(ImageObjectsAlive(loaded));

    EXPECT_EQ(ReleaseImage(&image), 1);
    EXPECT_FALSE(image.active);
    EXPECT_EQ(image.frames.size(), 3u);
    EXPECT_TRUE(ImageObjectsGone(loaded));
    EXPECT_EQ(ReleaseImage(&image), 0);

    WallImage never;
    EXPECT_EQ(ReleaseImage(&never), 0);
}

TEST_F(LoadGifTest, FramesLargerThanGlCanHoldFailTheLoad) {
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    ASSERT_GT(maxSize, 0);
    if (maxSize >= 65535) GTEST_SKIP() << "GIF sizes cannot exceed " << maxSize;

    // Tall: one column, so no scale width makes it smaller.
    fs::path tall = folder / "tall.gif";
    WriteSolidGif(tall, 1, maxSize + 1, 1);
    gScaleWidth = 250;
    EXPECT_EQ(LoadGif(wall, tall.string()), 1);
    EXPECT_FALSE(wall->pendingImage.active);
    EXPECT_TRUE(ImageObjectsGone(wall->pendingImage));

    // Wide: too wide unscaled, fine once scaled down to 250.
    fs::path wide = folder / "wide.gif";
    WriteSolidGif(wide, maxSize + 1, 100, 1);
    gScaleWidth = maxSize + 1;
    ResetStage(wall);
    EXPECT_EQ(LoadGif(wall, wide.string()), 1);
    EXPECT_FALSE(wall->pendingImage.active);
    EXPECT_TRUE(ImageObjectsGone(wall->pendingImage));

    gScaleWidth = 250;
    ResetStage(wall);
    EXPECT_EQ(LoadGif(wall, wide.string()), 0);
    ASSERT_EQ(wall->pendingImage.frames.size(), 1u);
    GLint width = 0;
    GLint height = 0;
    TextureSize(wall->pendingImage.frames[0].texture, &width, &height);
    EXPECT_EQ(width, 250);

    // Exactly the maximum still loads.
    fs::path edge = folder / "edge.gif";
    WriteSolidGif(edge, 1, maxSize, 1);
    ReleaseImage(&wall->pendingImage);
    ResetStage(wall);
    EXPECT_EQ(LoadGif(wall, edge.string()), 0);
}

}  // namespace
