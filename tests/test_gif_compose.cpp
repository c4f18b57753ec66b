// Where pixels land: interlace, downscaling, disposal, and fast against reference.

#include <random>

#include "gif_encoder.h"
#include "gif_test_decode.h"

using namespace giftest;

namespace {

TEST(GifInterlace, StoredRowsLandOnTheirImageRows) {
    // The image row of each stored row; the image lies at top 1.
    const std::vector<std::vector<int>> rows = {
        {0, 1}, {0, 2, 1}, {0, 2, 1, 3}, {0, 4, 2, 1, 3}, {0, 8, 4, 2, 6, 1, 3, 5, 7}};
    for (const std::vector<int>& imageRow : rows) {
        const int height = int(imageRow.size());
        Bytes stored;
        std::vector<int> expected(size_t(height) + 1, -1);
        for (int k = 0; k < height; ++k) {
            stored.push_back(uint8_t(k));
            expected[1 + imageRow[k]] = k;
        }
        GifWriter w = GifWithGlobalTable(1, height + 1, 16);
        w.Pixels(0, 1, 1, height, stored, kInterlaced).Trailer();
        EXPECT_EQ(DecodeBytes(w.bytes).Indices(0), expected) << height;
    }
}

TEST(GifDownscale, FirstColumnAndLastRowOfACanvasPixelWin) {
    // 400 x 300 at width 250: columns 8, 9 land on 5 and 10 on 6 (0.625 X +
    // 0.01); rows 0, 1 on row 0 and 2 on row 1 (187 Y / 300 + 0.01).
    GifWriter w = GifWithGlobalTable(400, 300, 8);
    w.Pixels(8, 0, 3, 3, {1, 2, 3, 4, 5, 6, 7, 1, 2}).Trailer();
    std::vector<int> expected(250 * 187, -1);
    expected[5] = 4, expected[6] = 6, expected[250 + 5] = 7, expected[250 + 6] = 2;
    EXPECT_EQ(DecodeBytes(w.bytes, 250).Indices(0), expected);
}

TEST(GifDownscale, OnlyAWiderScreenIsDownscaled) {
    // Downscaled, a one-column image's next row starts on the last row's column: skipped.
    GifWriter exact = GifWithGlobalTable(250, 2);
    const Decoded a = DecodeBytes(exact.Pixels(5, 0, 1, 2, {1, 2}).Trailer().bytes, 250);
    EXPECT_EQ(a.Indices(0)[5], 1);
    EXPECT_EQ(a.Indices(0)[250 + 5], 2);
    GifWriter wider = GifWithGlobalTable(251, 2);  // a 250 x 1 canvas; column 5 lands on 4
    EXPECT_EQ(DecodeBytes(wider.Pixels(5, 0, 1, 2, {1, 2}).Trailer().bytes, 250).Indices(0)[4], 1);
}

TEST(GifDownscale, ImagesWithoutPixels) {
    // Zero-width and zero-height images hold no pixel: an end code as their
    // first code ends them, a pixel fails them.
    for (const auto& [width, height] : {std::pair{0, 5}, std::pair{5, 0}}) {
        for (bool pixel : {false, true}) {
            GifWriter w = GifWithGlobalTable(400, 300);
            w.Image(0, 9, width, height).Data(2, pixel ? std::vector<Code>{{1, 3}, {5, 3}}
                                                       : std::vector<Code>{{5, 3}});
            const Decoded out = DecodeBytes(w.Trailer().bytes, 250);
            EXPECT_EQ(out.frameCount, pixel ? -1 : 1) << width << "x" << height << (pixel ? " with a pixel" : "");
        }
    }
}

TEST(GifDisposal, RestoreToBackgroundClearsTheWholeCanvas) {
    // A fills a 4 x 4 screen with 1, B (its own control) puts 2 at (1, 1), C
    // (disposal 1) 3 at (2, 2). Rows: B's disposal, background index, clears.
    const int rows[][3] = {{2, 0, 1}, {2, 3, 1}, {2, 4, 0}, {3, 0, 0}, {1, 0, 0}};
    for (const auto& [disposal, background, clears] : rows) {
        SCOPED_TRACE(testing::Message() << "disposal " << disposal << " background " << background);
        GifWriter w = GifWithGlobalTable(4, 4, 4, background);
        w.Control(1, 10).Pixels(0, 0, 4, 4, Bytes(16, 1));
        w.Control(disposal, 10).Pixels(1, 1, 1, 1, {2});
        const Decoded out = DecodeBytes(w.Control(1, 10).Pixels(2, 2, 1, 1, {3}).Trailer().bytes);
        std::vector<int> second(16, clears ? -1 : 1);
        second[5] = 2;
        std::vector<int> third = clears ? std::vector<int>(16, -1) : second;
        third[10] = 3;
        EXPECT_EQ(out.Indices(1), second);
        EXPECT_EQ(out.Indices(2), third);
    }
}

TEST(GifDisposal, EveryImageAfterAClearIsClearedAgain) {
    // One control with disposal 2 for three images with stray bytes between
    // them: before each later image the canvas holds nothing of the earlier
    // ones, however many blocks (and clears) came between.
    GifWriter w = GifWithGlobalTable(3, 1);
    w.Control(2, 10).Pixels(0, 0, 1, 1, {1}).Raw({0x00, 0x00}).Pixels(1, 0, 1, 1, {2});
    w.Pixels(2, 0, 1, 1, {3}).Trailer();
    const Decoded out = DecodeBytes(w.bytes);
    EXPECT_EQ(out.Indices(0), (std::vector<int>{1, -1, -1}));
    EXPECT_EQ(out.Indices(1), (std::vector<int>{-1, 2, -1}));
    EXPECT_EQ(out.Indices(2), (std::vector<int>{-1, -1, 3}));
}

TEST(GifPixelPaths, FastAndReferenceAgreeOnGeneratedFiles) {
    // Random offsets, interlace, tables, transparency, disposal; rows clipped
    // at scale 1-3; every third file with long runs, whose strings reach
    // across rows that are run over into drawn ones.
    std::mt19937 random(1);
    auto pick = [&](int n) { return int(random() % uint32_t(n)); };
    size_t frames = 0;
    for (int file = 0; file < 40; ++file) {
        EncodedGif gif;
        gif.screenWidth = 1 + pick(file % 4 == 0 ? 900 : 120);
        gif.screenHeight = 1 + pick(file % 4 == 1 ? 400 : 90);
        gif.backgroundIndex = pick(4);
        const int globalColours = 1 + pick(256);
        if (pick(4) != 0) gif.globalPalette = TestPalette(globalColours);
        for (int i = 1 + pick(4); i > 0; --i) {
            EncodedImage im;
            const int local = gif.globalPalette.empty() || pick(3) == 0 ? 1 + pick(256) : 0;
            const int colours = local ? local : globalColours;
            im.localPalette = TestPalette(local);
            im.width = 1 + pick(gif.screenWidth), im.height = 1 + pick(gif.screenHeight);
            im.left = pick(gif.screenWidth - im.width + 1);
            im.top = pick(gif.screenHeight - im.height + 1);
            im.interlaced = pick(2) == 0, im.writeControl = pick(4) != 0, im.disposal = pick(4);
            im.transparentIndex = pick(3) == 0 ? -1 : pick(colours);
            for (int n = im.width * im.height, value = 0; n > 0; --n) {
                if (pick(file % 3 == 2 ? 150 : 3) == 0) value = pick(colours);  // runs of 3 or 150 on average
                im.indices.push_back(uint8_t(value));
            }
            gif.images.push_back(im);
        }
        const Bytes bytes = EncodeGif(gif);
        for (int scale : {1, 2, 3, 50, 250, gif.screenWidth - 1, gif.screenWidth}) {
            SCOPED_TRACE(testing::Message() << "file " << file << " at " << scale);
            if (scale > 0) frames += DecodeBytes(bytes, scale).frames.size();
        }
    }
    EXPECT_GT(frames, 300u);  // most generated files must decode
}

TEST(GifPixelPaths, DataEndingEarlyAgreeWhenDownscaled) {
    // The fast path runs over rows the next row draws over, and decodes the
    // image again when the data end before its last row: cut the data after
    // every few codes, with clear codes every 97 codes, on canvases where two
    // to four source rows share a canvas row.
    const int width = 40, height = 30;
    Bytes picture;
    for (int i = 0; i < width * height; ++i) picture.push_back(uint8_t((i * 7 / 3 + i / 40) % 16));
    std::vector<Code> codes;
    std::vector<int> widthAfter;  // the code width after each code
    int codeWidth = 5, next = 18;
    for (size_t i = 0; i < picture.size(); ++i) {
        if (i % 97 == 0) {
            codes.push_back({16, codeWidth});
            codeWidth = 5, next = 18;
            widthAfter.push_back(codeWidth);
            codes.push_back({picture[i], codeWidth});
        } else {
            codes.push_back({picture[i], codeWidth});
            if (++next == (1 << codeWidth)) ++codeWidth;
        }
        widthAfter.push_back(codeWidth);
    }
    size_t frames = 0, decodes = 0;
    for (size_t cut = 2; cut < codes.size(); cut += 23) {  // a clear then the end code fails
        std::vector<Code> head(codes.begin(), codes.begin() + cut);
        head.push_back({17, widthAfter[cut - 1]});
        GifWriter w = GifWithGlobalTable(400, 300, 16);
        w.Image(3, 5, width, height).Data(4, head).Trailer();
        for (int scale : {100, 250, 399}) {
            frames += DecodeBytes(w.bytes, scale).frames.size();  // both paths agree
            ++decodes;
        }
    }
    EXPECT_EQ(frames, decodes);
}

}  // namespace
