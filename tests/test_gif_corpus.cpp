// Real and hand-made files from the shared corpus.

#include "gif_test_decode.h"

#ifdef REELSTACK_HAVE_GIFLIB
#include <gif_lib.h>
#endif

using namespace giftest;
using namespace std::string_literals;

namespace {

// Frames of each file (0: fails). Many hand-made ones lack the leading clear code.
// clang-format off
const std::pair<const char*, int> kCorpus[] = {
    {"animated-red-blue.gif", 4}, {"artificial-gif_background-color.gif", 2},
    {"artificial-gif_empty-palette.gif", 0}, {"artificial-gif_frame-out-of-bounds.gif", 0},
    {"artificial-gif_metadata-empty.gif", 1}, {"artificial-gif_metadata-full.gif", 1},
    {"artificial-gif_multiple-graphic-controls.gif", 1},
    {"artificial-gif_multiple-loop-counts.gif", 4}, {"artificial-gif_no-frames.gif", 0},
    {"artificial-gif_pixel-data-none.gif", 1}, {"artificial-gif_pixel-data-not-enough.gif", 1},
    {"artificial-gif_pixel-data-too-much-bad-lzw.gif", 0},
    {"artificial-gif_pixel-data-too-much-good-lzw.gif", 0},
    {"artificial-gif_small-frame-interlaced.gif", 1}, {"artificial-gif_transparent-index.gif", 2},
    {"artificial-gif_zero-width-frame.gif", 0}, {"bricks-dither.gif", 1}, {"bricks-gray.gif", 1},
    {"bricks-nodither.gif", 1}, {"gifplayer-muybridge.gif", 380}, {"harvesters.gif", 1},
    {"hat.gif", 1}, {"hibiscus.primitive.gif", 1}, {"hibiscus.regular.gif", 1},
    {"hippopotamus.interlaced.gif", 1}, {"hippopotamus.interlaced.truncated.gif", 1},
    {"hippopotamus.masked-with-muybridge.gif", 1}, {"hippopotamus.regular.gif", 1},
    {"muybridge.gif", 15}, {"pjw-thumbnail.gif", 1}, {"no-such-file.gif", 0},
};
// clang-format on

TEST(GifCorpus, EachFileDecodesOrFailsAtEveryScaleWidth) {
    for (const auto& [name, frames] : kCorpus) {
        for (int scale : {50, 250, 1000, 100000}) {
            const Decoded out = DecodeCorpus(name, scale);  // both pixel paths
            EXPECT_EQ(out.failed ? 0 : out.frameCount, frames) << name << " at " << scale;
        }
    }
}

TEST(GifCorpus, TruncatedInterlacedFileKeepsItsWholeCodes) {
    // Its whole codes carry the first 219 pixels in stream order, as in the full file.
    const Decoded full = DecodeCorpus("hippopotamus.interlaced.gif");
    const int rowOrder[] = {0, 8, 16, 24, 4, 12, 20};
    Bytes expected(36 * 28 * 4, 0);
    for (int n = 0; n < 219; ++n) {
        const size_t at = (size_t(rowOrder[n / 36]) * 36 + n % 36) * 4;
        std::copy_n(full.frames.at(0).begin() + at, 4, expected.begin() + at);
    }
    EXPECT_TRUE(DecodeCorpus("hippopotamus.interlaced.truncated.gif").frames.at(0) == expected);
}

#ifdef REELSTACK_HAVE_GIFLIB

// giflib's disposal method of image i, or 0 when it has no graphic control.
int GiflibDisposal(GifFileType* gif, int i) {
    GraphicsControlBlock control{0, false, 0, NO_TRANSPARENT_COLOR};
    DGifSavedExtensionToGCB(gif, i, &control);
    return control.DisposalMode;
}

TEST(GifCorpus, FramesMatchGiflib) {
    // giflib's images each drawn over the frame before, without transparent or
    // out-of-table indices. Disposal 2 clears the whole canvas to transparent
    // before the next image, as ours does (an image asking for it, or the next
    // image's own control asking for it). The files without a leading clear
    // code are here too: their data decode from the first code.
    for (const char* name :
         {"hippopotamus.interlaced.gif", "pjw-thumbnail.gif", "harvesters.gif",
          "animated-red-blue.gif", "gifplayer-muybridge.gif", "muybridge.gif",
          "artificial-gif_background-color.gif", "artificial-gif_metadata-empty.gif",
          "artificial-gif_metadata-full.gif", "artificial-gif_multiple-graphic-controls.gif",
          "artificial-gif_multiple-loop-counts.gif", "artificial-gif_small-frame-interlaced.gif",
          "artificial-gif_transparent-index.gif"}) {
        int error = 0;
        GifFileType* gif = DGifOpenFileName((REELSTACK_TESTDATA "/"s + name).c_str(), &error);
        ASSERT_TRUE(gif != nullptr && DGifSlurp(gif) == GIF_OK) << name;
        const Decoded ours = DecodeCorpus(name);
        ASSERT_EQ(ours.frames.size(), size_t(gif->ImageCount)) << name;
        Bytes canvas(size_t(gif->SWidth) * gif->SHeight * 4, 0);
        const bool canClear = gif->SColorMap && gif->SBackGroundColor < gif->SColorMap->ColorCount;
        for (int i = 0; i < gif->ImageCount; ++i) {
            if (i > 0 && canClear &&
                (GiflibDisposal(gif, i - 1) == DISPOSE_BACKGROUND ||
                 GiflibDisposal(gif, i) == DISPOSE_BACKGROUND)) {
                const GifColorType& c = gif->SColorMap->Colors[0];
                for (size_t p = 0; p < canvas.size(); p += 4) {
                    std::copy_n(Bytes{c.Red, c.Green, c.Blue, 0}.begin(), 4, canvas.begin() + p);
                }
            }
            const GifImageDesc& desc = gif->SavedImages[i].ImageDesc;
            const ColorMapObject* map = desc.ColorMap ? desc.ColorMap : gif->SColorMap;
            GraphicsControlBlock control{0, false, 0, NO_TRANSPARENT_COLOR};
            DGifSavedExtensionToGCB(gif, i, &control);
            for (int n = 0; n < desc.Width * desc.Height; ++n) {
                const int ci = gif->SavedImages[i].RasterBits[n];
                if (ci == control.TransparentColor || ci >= map->ColorCount) continue;
                const int x = desc.Left + n % desc.Width, y = desc.Top + n / desc.Width;
                const GifColorType& c = map->Colors[ci];
                std::copy_n(Bytes{c.Red, c.Green, c.Blue, 255}.begin(), 4,
                            canvas.begin() + (size_t(y) * gif->SWidth + x) * 4);
            }
            EXPECT_TRUE(ours.frames[i] == canvas) << name << " frame " << i;
        }
        DGifCloseFile(gif, &error);
    }
}

#endif

}  // namespace
