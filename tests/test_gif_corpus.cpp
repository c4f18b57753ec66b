// Real and hand-made files from the shared corpus.
#include <gtest/gtest.h>

#include <string>

#include "gif_test_decode.h"

#ifdef REELSTACK_HAVE_GIFLIB
#include <gif_lib.h>
#endif

using namespace giftest;

namespace {

std::string Corpus(const std::string& name) { return std::string(REELSTACK_TESTDATA) + "/" + name; }

struct CorpusFile {
    const char* name;
    int frames;  // 0: the file fails
    int width, height;
};

// Most hand-made files start their image data without a clear code. The
// first code is always dropped, so their second code is the one that must be
// a root code, and in most of them that is the end code.
const CorpusFile kCorpus[] = {
    {"animated-red-blue.gif", 4, 64, 48},
    // Codes 0 1 5 and 2 5: the second image's second code is the end code.
    {"artificial-gif_background-color.gif", 0, 4, 1},
    // Codes 0 5: the second code is the end code.
    {"artificial-gif_empty-palette.gif", 0, 1, 1},
    // The first image lies at left 1 with width 3 on a 2-wide screen.
    {"artificial-gif_frame-out-of-bounds.gif", 0, 2, 2},
    // Codes 1 17 at minimum code size 4: the second code is the end code.
    {"artificial-gif_metadata-empty.gif", 0, 2, 2},
    {"artificial-gif_metadata-full.gif", 0, 2, 2},
    // Codes 0 5 again.
    {"artificial-gif_multiple-graphic-controls.gif", 0, 1, 1},
    {"artificial-gif_multiple-loop-counts.gif", 0, 2, 2},
    // The trailer comes before any image.
    {"artificial-gif_no-frames.gif", 0, 1, 1},
    // Codes 5 0, then a zero-length sub-block: the dropped first code is the
    // end code, 0 paints pixel 0, and the data end there.
    {"artificial-gif_pixel-data-none.gif", 1, 2, 2},
    // Codes 0 5.
    {"artificial-gif_pixel-data-not-enough.gif", 0, 2, 2},
    // Clear 0 6 0 give four pixels, then code 15 while the next free code is 8.
    {"artificial-gif_pixel-data-too-much-bad-lzw.gif", 0, 2, 2},
    // Clear 0 6 6: the last string runs to a fifth pixel of a 2 x 2 image.
    {"artificial-gif_pixel-data-too-much-good-lzw.gif", 0, 2, 2},
    // Codes 0 5.
    {"artificial-gif_small-frame-interlaced.gif", 0, 5, 5},
    // Both images lose their first code, a pixel, and end cleanly.
    {"artificial-gif_transparent-index.gif", 2, 4, 2},
    // Codes 0 5 on a 0 x 0 image.
    {"artificial-gif_zero-width-frame.gif", 0, 2, 2},
    {"bricks-dither.gif", 1, 160, 120},
    {"bricks-gray.gif", 1, 160, 120},
    {"bricks-nodither.gif", 1, 160, 120},
    {"gifplayer-muybridge.gif", 380, 472, 298},
    {"harvesters.gif", 1, 1165, 859},
    {"hat.gif", 1, 90, 112},
    {"hibiscus.primitive.gif", 1, 312, 442},
    {"hibiscus.regular.gif", 1, 312, 442},
    {"hippopotamus.interlaced.gif", 1, 36, 28},
    // Cut inside the image data: the image ends there and still counts.
    {"hippopotamus.interlaced.truncated.gif", 1, 36, 28},
    {"hippopotamus.masked-with-muybridge.gif", 1, 36, 28},
    {"hippopotamus.regular.gif", 1, 36, 28},
    // Written without a clear code: the first code (229) is dropped and the
    // second, 258, is no root code.
    {"muybridge.gif", 0, 30, 20},
    {"pjw-thumbnail.gif", 1, 32, 32},
};

TEST(GifCorpus, EachFileDecodesOrFailsByTheRules) {
    for (const CorpusFile& f : kCorpus) {
        SCOPED_TRACE(f.name);
        const Decoded out = DecodePath(Corpus(f.name));
        EXPECT_EQ(out.failed, f.frames == 0);
        if (f.frames == 0) continue;
        EXPECT_EQ(out.frameCount, f.frames);
        EXPECT_EQ(int(out.frames.size()), f.frames);
        EXPECT_EQ(out.info.canvasWidth, f.width);
        EXPECT_EQ(out.info.canvasHeight, f.height);
    }
}

TEST(GifCorpus, MissingFileFails) { EXPECT_TRUE(DecodePath(Corpus("no-such-file.gif")).failed); }

TEST(GifCorpus, HandMadeFilesGiveTheirPixels) {
    // pixel-data-none: pixel 0 takes global entry 0 (0, 0, 255), the rest
    // was never drawn.
    const Decoded none = DecodePath(Corpus("artificial-gif_pixel-data-none.gif"));
    ASSERT_EQ(none.frameCount, 1);
    EXPECT_EQ(none.At(0, 0, 0), (Rgba{0, 0, 255, 255}));
    EXPECT_EQ(none.At(0, 1, 0), (Rgba{}));
    EXPECT_EQ(none.At(0, 0, 1), (Rgba{}));
    EXPECT_EQ(none.At(0, 1, 1), (Rgba{}));

    // transparent-index: global entry i < 16 is (16 i, 0, 0), entry 16 + j is
    // (0, 0, 17 j). Image 1 (4 x 2) codes 8..15: 8 is dropped, 9..15 fill
    // pixels 0..6. Image 2 at (1, 1), transparent 26: codes 31 26 21, 31
    // dropped, 26 transparent, 21 lands on (2, 1).
    const Decoded t = DecodePath(Corpus("artificial-gif_transparent-index.gif"));
    ASSERT_EQ(t.frameCount, 2);
    EXPECT_EQ(t.delays, (std::vector<int>{10, 20}));
    const Rgba first[8] = {{0x90, 0, 0, 255}, {0xA0, 0, 0, 255}, {0xB0, 0, 0, 255},
                           {0xC0, 0, 0, 255}, {0xD0, 0, 0, 255}, {0xE0, 0, 0, 255},
                           {0xF0, 0, 0, 255}, {0, 0, 0, 0}};
    for (int i = 0; i < 8; ++i) {
        EXPECT_EQ(t.At(0, i % 4, i / 4), first[i]) << i;
        const Rgba second = i == 6 ? Rgba{0, 0, 0x55, 255} : first[i];
        EXPECT_EQ(t.At(1, i % 4, i / 4), second) << i;
    }
}

TEST(GifCorpus, AnimationDelays) {
    EXPECT_EQ(DecodePath(Corpus("animated-red-blue.gif")).delays,
              (std::vector<int>{10, 20, 30, 40}));
}

TEST(GifCorpus, TruncatedInterlacedFileKeepsItsWholeCodes) {
    // The complete codes carry the first 219 pixels in stream order: rows 0,
    // 8, 16, 24, 4, 12 and three pixels of row 20. Each equals the full file's.
    const Decoded full = DecodePath(Corpus("hippopotamus.interlaced.gif"));
    const Decoded cut = DecodePath(Corpus("hippopotamus.interlaced.truncated.gif"));
    ASSERT_EQ(full.frameCount, 1);
    ASSERT_EQ(cut.frameCount, 1);
    const int rowOrder[] = {0, 8, 16, 24, 4, 12, 20, 2,  6,  10, 14, 18, 22, 26,
                            1, 3, 5,  7,  9, 11, 13, 15, 17, 19, 21, 23, 25, 27};
    int drawn = 0;
    for (int n = 0; n < 36 * 28; ++n) {
        const int x = n % 36, y = rowOrder[n / 36];
        const Rgba p = cut.At(0, x, y);
        if (n < 219) {
            EXPECT_EQ(p, full.At(0, x, y)) << "pixel " << n;
        } else {
            EXPECT_EQ(p, Rgba{}) << "pixel " << n;
        }
        drawn += p.a == 255;
    }
    EXPECT_EQ(drawn, 219);
}

TEST(GifCorpus, FastAndReferencePixelPathsAgree) {
    for (const CorpusFile& f : kCorpus) {
        for (int scale : {50, 100, 150, 250, 400, 1000, 100000}) {
            SCOPED_TRACE(testing::Message() << f.name << " at " << scale);
            const std::string path = Corpus(f.name);
            const PathComparison c =
                ComparePixelPaths([&] { return std::fopen(path.c_str(), "rb"); }, scale);
            EXPECT_EQ(c.difference, "");
            if (f.frames > 0) {
                EXPECT_EQ(c.frames, f.frames);
            }
        }
    }
}

#ifdef REELSTACK_HAVE_GIFLIB

// Every frame composed from giflib's images the plain way: each image drawn
// over the previous frame, its transparent index and indices beyond its table
// left out. Only for files without disposal 2, where this is our rule too.
std::vector<Bytes> GiflibFrames(const std::string& path) {
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (gif == nullptr) return {};
    std::vector<Bytes> frames;
    if (DGifSlurp(gif) == GIF_OK) {
        Bytes canvas(size_t(gif->SWidth) * gif->SHeight * 4, 0);
        for (int i = 0; i < gif->ImageCount; ++i) {
            const SavedImage& image = gif->SavedImages[i];
            const GifImageDesc& desc = image.ImageDesc;
            const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
            GraphicsControlBlock control{};
            control.TransparentColor = NO_TRANSPARENT_COLOR;
            DGifSavedExtensionToGCB(gif, i, &control);
            if (control.DisposalMode == DISPOSE_BACKGROUND || map == nullptr) return {};
            for (int y = 0; y < desc.Height; ++y) {
                for (int x = 0; x < desc.Width; ++x) {
                    const int ci = image.RasterBits[y * desc.Width + x];
                    if (ci == control.TransparentColor || ci >= map->ColorCount) continue;
                    uint8_t* p = &canvas[(size_t(desc.Top + y) * gif->SWidth + desc.Left + x) * 4];
                    p[0] = map->Colors[ci].Red;
                    p[1] = map->Colors[ci].Green;
                    p[2] = map->Colors[ci].Blue;
                    p[3] = 255;
                }
            }
            frames.push_back(canvas);
        }
    }
    DGifCloseFile(gif, &error);
    return frames;
}

TEST(GifCorpus, FramesMatchGiflib) {
    // Files whose images all begin with a clear code and lie on the screen,
    // decoded without downscaling.
    const char* files[] = {
        "hippopotamus.regular.gif",
        "hippopotamus.interlaced.gif",
        "hippopotamus.masked-with-muybridge.gif",
        "pjw-thumbnail.gif",
        "bricks-dither.gif",
        "hat.gif",
        "harvesters.gif",
        "animated-red-blue.gif",
        "gifplayer-muybridge.gif",
    };
    for (const char* name : files) {
        SCOPED_TRACE(name);
        const std::vector<Bytes> expected = GiflibFrames(Corpus(name));
        ASSERT_FALSE(expected.empty());
        const Decoded out = DecodePath(Corpus(name), 100000);
        ASSERT_EQ(out.frames.size(), expected.size());
        for (size_t i = 0; i < expected.size(); ++i) {
            EXPECT_TRUE(out.frames[i] == expected[i]) << "frame " << i;
        }
    }
}

#endif

}  // namespace
