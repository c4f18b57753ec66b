// Where decoded pixels land: interlaced rows, downscaling, disposal, and the
// fast pixel writers against the one-pixel-at-a-time reference.
#include <gtest/gtest.h>

#include <algorithm>

#include "gif_test_decode.h"

using namespace giftest;

namespace {

TEST(GifInterlace, StoredRowsLandOnTheirImageRows) {
    struct Row {
        int height;
        int top;
        std::vector<int> imageRowOfStoredRow;
    };
    const Row rows[] = {
        {1, 0, {0}},
        {2, 0, {0, 1}},
        {3, 0, {0, 2, 1}},
        {4, 0, {0, 2, 1, 3}},
        {5, 0, {0, 4, 2, 1, 3}},
        {5, 2, {0, 4, 2, 1, 3}},
        {8, 0, {0, 4, 2, 6, 1, 3, 5, 7}},
        {9, 1, {0, 8, 4, 2, 6, 1, 3, 5, 7}},
        {17, 0, {0, 8, 16, 4, 12, 2, 6, 10, 14, 1, 3, 5, 7, 9, 11, 13, 15}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "height " << row.height << " at top " << row.top);
        const int screenHeight = row.top + row.height + 1;
        GifWriter w = GifWithGlobalTable(1, screenHeight, 32);
        Bytes stored;
        for (int k = 0; k < row.height; ++k) stored.push_back(uint8_t(k));
        w.Pixels(0, row.top, 1, row.height, stored, kInterlaced, {}, 5).Trailer();
        const Decoded out = DecodeBytes(w.bytes);
        ASSERT_EQ(out.frameCount, 1);
        std::vector<int> expected(size_t(screenHeight), -1);
        for (int k = 0; k < row.height; ++k) expected[row.top + row.imageRowOfStoredRow[k]] = k;
        EXPECT_EQ(out.Indices(0), expected);
    }
}

// ---------------------------------------------------------------------------
// Downscaling. A 400 x 300 screen at width 250 has a 250 x 187 canvas; screen
// column X lands on canvas column trunc(X x 0.625 + 0.01), screen row Y on
// trunc(Y x 187 / 300 + 0.01).

Decoded Decode400x300(GifWriter& images) {
    GifWriter w = GifWithGlobalTable(400, 300, 8);
    w.Raw(images.bytes).Trailer();
    return DecodeBytes(w.bytes, 250);
}

TEST(GifDownscale, CanvasIsSizedFromTheScreen) {
    GifWriter images;
    images.Pixels(0, 0, 1, 1, {1});
    const Decoded out = Decode400x300(images);
    ASSERT_EQ(out.frameCount, 1);
    EXPECT_EQ(out.info.screenWidth, 400);
    EXPECT_EQ(out.info.screenHeight, 300);
    EXPECT_EQ(out.info.canvasWidth, 250);
    EXPECT_EQ(out.info.canvasHeight, 187);
    EXPECT_EQ(out.frames[0].size(), size_t(250 * 187 * 4));
}

TEST(GifDownscale, FirstSourceColumnOfACanvasColumnWins) {
    // Columns 8 and 9 both fall on canvas column 5 (5.01 and 5.635); 10 on 6.
    GifWriter opaque;
    opaque.Pixels(8, 0, 3, 1, {1, 2, 3});
    const Decoded a = Decode400x300(opaque);
    ASSERT_EQ(a.frameCount, 1);
    EXPECT_EQ(a.At(0, 5, 0), Opaque(TestColour(1)));
    EXPECT_EQ(a.At(0, 6, 0), Opaque(TestColour(3)));
    EXPECT_EQ(a.At(0, 4, 0).a, 0);

    // Column 9 is skipped even when column 8 was transparent.
    GifWriter transparent;
    transparent.Control(1, 10, 1).Pixels(8, 0, 3, 1, {1, 2, 3});
    const Decoded b = Decode400x300(transparent);
    ASSERT_EQ(b.frameCount, 1);
    EXPECT_EQ(b.At(0, 5, 0).a, 0);
    EXPECT_EQ(b.At(0, 6, 0), Opaque(TestColour(3)));
}

TEST(GifDownscale, LastSourceRowOfACanvasRowWins) {
    // Rows 0 and 1 fall on canvas row 0, row 2 on row 1; columns 1, 2 on 0, 1.
    GifWriter images;
    images.Pixels(1, 0, 2, 3, {1, 2, 3, 4, 5, 6});
    const Decoded out = Decode400x300(images);
    ASSERT_EQ(out.frameCount, 1);
    EXPECT_EQ(out.At(0, 0, 0), Opaque(TestColour(3)));
    EXPECT_EQ(out.At(0, 1, 0), Opaque(TestColour(4)));
    EXPECT_EQ(out.At(0, 0, 1), Opaque(TestColour(5)));
    EXPECT_EQ(out.At(0, 1, 1), Opaque(TestColour(6)));
}

TEST(GifDownscale, ImageOnOneCanvasColumnDrawsOnlyItsFirstPixel) {
    // Every pixel lands on column 5, so each row's first pixel repeats the
    // column of the row before and is skipped, on canvas row 1 too.
    GifWriter images;
    images.Pixels(8, 0, 1, 3, {1, 2, 3});
    const Decoded out = Decode400x300(images);
    ASSERT_EQ(out.frameCount, 1);
    EXPECT_EQ(out.At(0, 5, 0), Opaque(TestColour(1)));
    EXPECT_EQ(out.At(0, 5, 1).a, 0);
    int drawn = 0;
    for (size_t i = 3; i < out.frames[0].size(); i += 4) drawn += out.frames[0][i] != 0;
    EXPECT_EQ(drawn, 1);
}

TEST(GifDownscale, ExactScaleWidthIsKeptOneMoreIsDownscaled) {
    Bytes row;
    for (int x = 0; x < 251; ++x) row.push_back(uint8_t(x % 7));
    GifWriter exact = GifWithGlobalTable(250, 2, 8);
    exact.Pixels(0, 0, 250, 1, Bytes(row.begin(), row.begin() + 250)).Trailer();
    const Decoded a = DecodeBytes(exact.bytes, 250);
    ASSERT_EQ(a.frameCount, 1);
    ASSERT_EQ(a.info.canvasWidth, 250);
    ASSERT_EQ(a.info.canvasHeight, 2);
    for (int x = 0; x < 250; ++x) EXPECT_EQ(a.At(0, x, 0), Opaque(TestColour(row[x]))) << x;
    // Undownscaled, a one pixel wide image draws every row (downscaled, rows
    // after the first would repeat the last column and be skipped).
    GifWriter narrow = GifWithGlobalTable(250, 2, 8);
    const Decoded n = DecodeBytes(narrow.Pixels(5, 0, 1, 2, {1, 2}).Trailer().bytes, 250);
    ASSERT_EQ(n.frameCount, 1);
    EXPECT_EQ(n.At(0, 5, 0), Opaque(TestColour(1)));
    EXPECT_EQ(n.At(0, 5, 1), Opaque(TestColour(2)));

    // 251 wide: X lands on trunc(X x 250 / 251 + 0.01); X = 2 and 3 share
    // column 2, after which column c shows X = c + 1.
    GifWriter wider = GifWithGlobalTable(251, 2, 8);
    wider.Pixels(0, 0, 251, 1, row).Trailer();
    const Decoded b = DecodeBytes(wider.bytes, 250);
    ASSERT_EQ(b.frameCount, 1);
    ASSERT_EQ(b.info.canvasWidth, 250);
    ASSERT_EQ(b.info.canvasHeight, 1);
    for (int c = 0; c < 250; ++c) {
        EXPECT_EQ(b.At(0, c, 0), Opaque(TestColour(row[c <= 2 ? c : c + 1]))) << c;
    }
}

TEST(GifDownscale, ClippedLastRowHidesEarlierRowsStoredAfterIt) {
    // 400 x 303 at width 2: a 2 x 1 canvas, and rows 300 to 302 reach
    // position 1.0 or more, clipped to row 0. An interlaced 7-row image at
    // top 294 stores image row 6 (screen row 300) before rows 1, 3 and 5;
    // those no longer draw, so row 6 stays on the canvas.
    GifWriter w = GifWithGlobalTable(400, 303, 8);
    Bytes stored;
    for (int imageRow : {0, 4, 2, 6, 1, 3, 5})
        stored.insert(stored.end(), 400, uint8_t(imageRow + 1));
    w.Pixels(0, 294, 400, 7, stored, kInterlaced).Trailer();
    const Decoded out = DecodeBytes(w.bytes, 2);
    ASSERT_EQ(out.frameCount, 1);
    ASSERT_EQ(out.info.canvasHeight, 1);
    EXPECT_EQ(out.Indices(0), (std::vector<int>{7, 7}));
}

// ---------------------------------------------------------------------------
// Disposal: A fills a 4 x 4 screen with 1, B (own control) puts 2 at (1, 1),
// C (disposal 1 again) puts 3 at (2, 2).

TEST(GifDisposal, RestoreToBackgroundClearsTheWholeCanvas) {
    struct Row {
        int disposal;
        bool globalTable;
        int tableBitsN;  // global table size 2^(N+1), present or not
        int background;
        bool clears;
    };
    const Row rows[] = {
        {2, true, 1, 0, true},    {2, true, 1, 3, true},  {2, true, 1, 4, false},
        {2, true, 1, 255, false}, {3, true, 1, 0, false}, {1, true, 1, 0, false},
        {0, true, 1, 0, false},   {4, true, 1, 0, false}, {6, true, 1, 0, false},
        {7, true, 1, 0, false},   {2, false, 0, 1, true}, {2, false, 0, 2, false},
        {2, false, 7, 255, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "disposal " << row.disposal << " background "
                                        << row.background << (row.globalTable ? "" : " no table"));
        const int colours = 2 << row.tableBitsN;
        GifWriter w;
        w.Header().Screen(4, 4, (row.globalTable ? 0x80 : 0) | row.tableBitsN, row.background);
        const std::vector<Rgb> local = row.globalTable ? std::vector<Rgb>{} : TestPalette(4);
        if (row.globalTable) w.ColourTable(TestPalette(colours));
        w.Control(1, 10).Pixels(0, 0, 4, 4, Bytes(16, 1), 0, local);
        w.Control(row.disposal, 10).Pixels(1, 1, 1, 1, {2}, 0, local);
        w.Control(1, 10).Pixels(2, 2, 1, 1, {3}, 0, local).Trailer();
        const Decoded out = DecodeBytes(w.bytes);
        ASSERT_EQ(out.frameCount, 3);
        EXPECT_EQ(out.Indices(0), std::vector<int>(16, 1));
        std::vector<int> second(16, row.clears ? -1 : 1);
        second[1 * 4 + 1] = 2;
        std::vector<int> third = row.clears ? std::vector<int>(16, -1) : second;
        third[2 * 4 + 2] = 3;
        EXPECT_EQ(out.Indices(1), second);
        EXPECT_EQ(out.Indices(2), third);
        if (row.clears && row.globalTable) {
            // Cleared pixels take the colour bytes of global entry 0, with A = 0.
            const Rgb e0 = TestColour(0);
            EXPECT_EQ(out.At(1, 0, 0), (Rgba{e0.r, e0.g, e0.b, 0}));
        }
    }
}

TEST(GifDisposal, FirstImageIsNeverClearedBeforeItIsDrawn) {
    // The first image's own disposal 2 clears only before the next block.
    GifWriter w = GifWithGlobalTable(2, 1);
    w.Control(2, 10).Pixels(0, 0, 2, 1, {1, 1}).Pixels(1, 0, 1, 1, {2}).Trailer();
    const Decoded out = DecodeBytes(w.bytes);
    ASSERT_EQ(out.frameCount, 2);
    EXPECT_EQ(out.Indices(0), (std::vector<int>{1, 1}));
    EXPECT_EQ(out.Indices(1), (std::vector<int>{-1, 2}));
}

// ---------------------------------------------------------------------------
// Fast pixel writers against the reference

struct Rng {
    uint32_t x;
    int operator()(int n) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return int((x >> 4) % uint32_t(n));
    }
};

int CodeSizeFor(int colours) {
    int bits = 2;
    while ((1 << bits) < colours) ++bits;
    return bits;
}

// A few images with every feature the pixel writer sees: offsets,
// interlace, local tables, transparency and disposal.
Bytes GeneratedGif(uint32_t seed, int* screenWidth) {
    Rng rng{seed * 747796405u + 2891336453u};
    const int width = 1 + rng(seed % 4 == 0 ? 900 : 120);
    const int height = 1 + rng(seed % 4 == 1 ? 400 : 90);
    const bool global = rng(4) != 0;
    const int globalColours = 2 << rng(8);
    GifWriter w;
    w.Header().Screen(width, height, (global ? 0x80 : 0) | (TableBits(globalColours) & 7), rng(4));
    if (global) w.ColourTable(TestPalette(globalColours));
    const int images = 1 + rng(4);
    for (int i = 0; i < images; ++i) {
        const bool local = !global || rng(3) == 0;
        const int colours = local ? 2 << rng(8) : globalColours;
        if (rng(3) != 0) w.Control(rng(4), 1 + rng(50), rng(3) == 0 ? -1 : rng(colours));
        const int iw = 1 + rng(width), ih = 1 + rng(height);
        const int left = rng(width - iw + 1), top = rng(height - ih + 1);
        Bytes indices(size_t(iw) * ih);
        int run = 0, value = 0;
        for (uint8_t& v : indices) {
            if (run-- <= 0) run = rng(6), value = rng(colours);
            v = uint8_t(value);
        }
        w.Pixels(left, top, iw, ih, indices, rng(2) ? kInterlaced : 0,
                 local ? TestPalette(colours) : std::vector<Rgb>{}, CodeSizeFor(colours));
    }
    *screenWidth = width;
    return w.Trailer().bytes;
}

TEST(GifPixelPaths, FastAndReferenceAgreeOnGeneratedFiles) {
    int decoded = 0;
    for (uint32_t seed = 0; seed < 60; ++seed) {
        int width = 0;
        const Bytes bytes = GeneratedGif(seed, &width);
        for (int scale : {1, 2, 3, 7, 50, 100, 150, 250, width - 1, width, width + 1}) {
            if (scale < 1) continue;
            SCOPED_TRACE(testing::Message() << "seed " << seed << " scale " << scale);
            const PathComparison c = ComparePixelPaths([&] { return StreamOf(bytes); }, scale);
            EXPECT_EQ(c.difference, "");
            decoded += c.frames;
        }
    }
    RecordProperty("generatedFrames", decoded);
    EXPECT_GT(decoded, 1000);  // the generator must not mostly make failing files
}

TEST(GifPixelPaths, FastAndReferenceAgreeOnClippedRows) {
    // Screens a hundred and more times wider than the canvas, where rows are
    // clipped to the last canvas row.
    for (int width : {400, 1000, 3000}) {
        GifWriter w = GifWithGlobalTable(width, 303, 8);
        Bytes indices(size_t(width) * 40);
        for (size_t i = 0; i < indices.size(); ++i) indices[i] = uint8_t((i / 3 + i / width) % 8);
        w.Control(0, 10, 7).Pixels(0, 263, width, 40, indices, kInterlaced);
        w.Pixels(width / 2, 250, width / 2, 53, Bytes(size_t(width / 2) * 53, 3)).Trailer();
        for (int scale : {1, 2, 3, 4, 5, 10}) {
            SCOPED_TRACE(testing::Message() << width << " at " << scale);
            const PathComparison c = ComparePixelPaths([&] { return StreamOf(w.bytes); }, scale);
            EXPECT_EQ(c.difference, "");
        }
    }
}

}  // namespace
