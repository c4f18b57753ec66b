// The image data: LZW codes, their widths, the string table, sub-blocks and
// data that end early.
#include <gtest/gtest.h>

#include <string>

#include "gif_test_decode.h"

using namespace giftest;

namespace {

std::vector<int> AsInts(const Bytes& b) { return std::vector<int>(b.begin(), b.end()); }

// Deterministic indices below `colours`, in runs so that strings repeat.
Bytes Noise(size_t n, int colours, uint32_t seed) {
    Bytes out;
    uint32_t x = seed * 2654435761u + 1;
    while (out.size() < n) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        out.insert(out.end(), 1 + (x >> 28) % 3, uint8_t((x >> 8) % colours));
    }
    out.resize(n);
    return out;
}

// A width x 1 screen and image over a global 4-colour table, image data given
// as raw codes at minimum code size 2 (clear 4, end 5, first free code 6).
Decoded DecodeCodes(int width, const std::vector<Code>& codes, int transparent = -1) {
    GifWriter w = GifWithGlobalTable(width, 1);
    if (transparent >= 0) w.Control(1, 10, transparent);
    w.Image(0, 0, width, 1).Data(2, codes).Trailer();
    return DecodeBytes(w.bytes);
}

TEST(GifLzw, TwoByteExampleGivesFourPixelsOfOne) {
    // Codes 4, 1, 6, 1 at 3 bits, then 5 at 4 bits: 6 arrives while it is
    // the next free code, and the table reaches 8 entries before the end code.
    EXPECT_EQ(PackCodes({{4, 3}, {1, 3}, {6, 3}, {1, 3}, {5, 4}}), (Bytes{0x8C, 0x53}));
    GifWriter w = GifWithGlobalTable(2, 2);
    w.Image(0, 0, 2, 2).Raw({2, 2, 0x8C, 0x53, 0}).Trailer();
    const Decoded out = DecodeBytes(w.bytes);
    ASSERT_EQ(out.frameCount, 1);
    EXPECT_EQ(out.Indices(0), (std::vector<int>{1, 1, 1, 1}));
}

TEST(GifLzw, CodeSequences) {
    struct Row {
        const char* name;
        int width;
        std::vector<Code> codes;
        std::vector<int> pixels;  // empty: the file fails
        int transparent = -1;
    };
    const std::vector<Row> rows = {
        {"width grows to 4 bits after the third data code",
         5,
         {{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}, {0, 4}, {5, 4}},
         {0, 1, 2, 3, 0}},
        {"code equal to the next free code repeats the previous string",
         4,
         {{4, 3}, {2, 3}, {3, 3}, {7, 3}, {5, 4}},
         {2, 3, 3, 3}},
        {"code one above the next free code fails", 4, {{4, 3}, {1, 3}, {7, 3}, {5, 3}}, {}},
        {"discarded first code may be the next free code", 2, {{6, 3}, {1, 3}, {5, 3}}, {1, -1}},
        {"discarded first code above the next free code fails", 2, {{7, 3}, {1, 3}, {5, 3}}, {}},
        // Without a leading clear the first pixel is lost and the table runs
        // one string behind: these codes encode 1 2 1 2 but decode to 2 2 2.
        {"first code not clear loses its pixel",
         4,
         {{1, 3}, {2, 3}, {6, 3}, {5, 3}},
         {2, 2, 2, -1}},
        {"second code clear fails", 2, {{4, 3}, {4, 3}, {1, 3}, {5, 3}}, {}},
        {"second code end fails", 2, {{4, 3}, {5, 3}}, {}},
        {"second code the next free code fails", 2, {{4, 3}, {6, 3}, {5, 3}}, {}},
        {"next free code right after a clear fails",
         4,
         {{4, 3}, {1, 3}, {2, 3}, {4, 3}, {6, 3}, {5, 3}},
         {}},
        // Before the clear 6 is "1 2"; after it, 6 is "3 3".
        {"clear code empties the table",
         5,
         {{4, 3}, {1, 3}, {2, 3}, {4, 3}, {3, 3}, {6, 3}, {5, 3}},
         {1, 2, 3, 3, 3}},
        {"clear code resets the width to 3 bits",
         5,
         {{4, 3}, {0, 3}, {1, 3}, {2, 3}, {4, 4}, {3, 3}, {0, 3}, {5, 3}},
         {0, 1, 2, 3, 0}},
        {"end code before the last pixel keeps the rest",
         4,
         {{4, 3}, {1, 3}, {2, 3}, {5, 3}},
         {1, 2, -1, -1}},
        {"exactly width x height pixels", 2, {{4, 3}, {1, 3}, {1, 3}, {5, 3}}, {1, 1}},
        {"one pixel too many fails", 2, {{4, 3}, {1, 3}, {1, 3}, {1, 3}, {5, 4}}, {}},
        {"one transparent pixel too many fails",
         2,
         {{4, 3}, {1, 3}, {1, 3}, {1, 3}, {5, 4}},
         {},
         1},
        {"string running past the image fails", 2, {{4, 3}, {1, 3}, {6, 3}, {5, 3}}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        const Decoded out = DecodeCodes(row.width, row.codes, row.transparent);
        EXPECT_EQ(out.failed, row.pixels.empty());
        if (!row.pixels.empty()) {
            ASSERT_EQ(out.frameCount, 1);
            EXPECT_EQ(out.Indices(0), row.pixels);
        }
    }
}

TEST(GifLzw, MinimumCodeSize) {
    // Each stream is clear, 1, 0, end at its own code size, which a decoder
    // taking code size 1 or 9 would read as two pixels; only the code size
    // (and for 2-entry tables the table) can reject it.
    struct Row {
        int minCodeSize;
        int tableColours;
        bool accepted;
    };
    const Row rows[] = {
        {0, 4, false}, {1, 4, false}, {2, 4, true},  {8, 4, true},   {9, 4, false},
        {2, 2, true},  {3, 2, false}, {8, 2, false}, {7, 256, true}, {3, 16, true},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.minCodeSize << " with " << row.tableColours);
        const uint32_t clear = 1u << row.minCodeSize;
        const int bits = row.minCodeSize + 1;
        const std::vector<Code> codes = {{clear, bits}, {1, bits}, {0, bits}, {clear + 1, bits}};
        GifWriter w = GifWithGlobalTable(2, 1, row.tableColours);
        w.Image(0, 0, 2, 1).Data(row.minCodeSize, codes).Trailer();
        const Decoded out = DecodeBytes(w.bytes);
        EXPECT_EQ(out.failed, !row.accepted);
        if (row.accepted) {
            EXPECT_EQ(out.Indices(0), (std::vector<int>{1, 0}));
        }
    }
}

TEST(GifLzw, CodesAcrossSubBlockBoundaries) {
    const Bytes picture = Noise(40 * 30, 16, 7);
    const std::vector<Code> codes = LzwEncode(picture, 4);
    const std::vector<std::vector<int>> splits = {
        {},
        std::vector<int>(2000, 1),
        {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13},
        {254, 1, 2},
        {3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3, 3},
        {17},
    };
    for (size_t i = 0; i < splits.size(); ++i) {
        SCOPED_TRACE(i);
        GifWriter w = GifWithGlobalTable(40, 30, 16);
        w.Image(0, 0, 40, 30).Data(4, codes, splits[i]).Trailer();
        const Decoded out = DecodeBytes(w.bytes);
        ASSERT_EQ(out.frameCount, 1);
        EXPECT_EQ(out.Indices(0), AsInts(picture));
    }
}

TEST(GifLzw, FullTableKeepsTwelveBitCodesUntilAClear) {
    // 4096 codes fill up long before the clear; the codes in between are
    // 12 bits wide and add nothing, and the last string added, code 4095,
    // is still there to be used. After the clear codes are 3 bits again.
    const Bytes picture = Noise(256 * 256, 4, 11);
    const Bytes head(picture.begin(), picture.begin() + 50000);
    LzwEncoder encoder(2);
    encoder.Clear();
    encoder.Pixels(head);
    ASSERT_TRUE(encoder.tableFilled());
    ASSERT_EQ(encoder.width(), 12);
    const Bytes last = encoder.StringOf(4095);
    encoder.EmitCode(4095);
    encoder.Clear();
    ASSERT_EQ(encoder.width(), 3);
    const Bytes tail(picture.begin() + 50000 + last.size(), picture.end());
    encoder.Pixels(tail);
    GifWriter w = GifWithGlobalTable(256, 256);
    w.Image(0, 0, 256, 256).Data(2, encoder.Finish()).Trailer();
    const Decoded out = DecodeBytes(w.bytes);
    ASSERT_EQ(out.frameCount, 1);
    EXPECT_EQ(out.Indices(0), AsInts(Join({head, last, tail})));
}

TEST(GifLzw, LargeTablesAtEveryCodeSize) {
    for (int minCodeSize = 2; minCodeSize <= 8; ++minCodeSize) {
        SCOPED_TRACE(minCodeSize);
        const int colours = 1 << minCodeSize;
        const Bytes picture = Noise(120 * 100, colours, uint32_t(minCodeSize));
        GifWriter w = GifWithGlobalTable(120, 100, colours);
        w.Pixels(0, 0, 120, 100, picture, 0, {}, minCodeSize).Trailer();
        const Decoded out = DecodeBytes(w.bytes);
        ASSERT_EQ(out.frameCount, 1);
        EXPECT_EQ(out.Indices(0), AsInts(picture));
    }
}

TEST(GifLzw, BytesAfterTheEndCode) {
    // After the end code one byte is taken as the terminator; whatever else
    // follows is met by the block loop.
    const Bytes data = PackCodes({{4, 3}, {1, 3}, {2, 3}, {5, 3}});  // 12 bits
    struct Row {
        const char* name;
        Bytes tail;  // after the minimum code size byte
        int frames;
    };
    const Row rows[] = {
        {"junk after the end code in its sub-block", Join({{4}, data, {0x2C, 0x3B}, {0}}), 2},
        {"a further sub-block of stray bytes", Join({{2}, data, {3, 0x10, 0x20, 0x30, 0}}), 2},
        {"a further sub-block holding a trailer", Join({{2}, data, {1, 0x3B, 0}}), 1},
        {"a further sub-block 0x2C bytes long", Join({{2}, data, {0x2C}, Bytes(0x2C, 0), {0}}), 2},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GifWriter w = GifWithGlobalTable(2, 2);
        w.Image(0, 0, 2, 1).Raw({2}).Raw(row.tail).Pixels(0, 1, 2, 1, {3, 3}).Trailer();
        const Decoded out = DecodeBytes(w.bytes);
        ASSERT_FALSE(out.failed);
        ASSERT_EQ(out.frameCount, row.frames);
        EXPECT_EQ(out.Indices(0), (std::vector<int>{1, 2, -1, -1}));
    }
}

TEST(GifLzw, EndCodeAfterHalfTheImageShowsThePreviousCanvas) {
    GifWriter w = GifWithGlobalTable(4, 2);
    w.Pixels(0, 0, 4, 2, Bytes(8, 1));
    w.Image(0, 0, 4, 2).Data(2, LzwEncode({2, 3, 2, 3}, 2)).Trailer();
    const Decoded out = DecodeBytes(w.bytes);
    ASSERT_EQ(out.frameCount, 2);
    EXPECT_EQ(out.Indices(1), (std::vector<int>{2, 3, 2, 3, 1, 1, 1, 1}));
}

TEST(GifLzw, DataEndingBeforeTheEndCodeEndsTheImage) {
    // clear 0 1 2 (3 bits) 3 0 1 (4 bits) fill exactly three bytes.
    const std::vector<Code> sixPixels = {{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}, {0, 4}, {1, 4}};
    const Bytes six = PackCodes(sixPixels);
    ASSERT_EQ(six.size(), 3u);
    const std::vector<int> rowOfSix = {0, 1, 2, 3, 0, 1, -1, -1};

    {
        SCOPED_TRACE("zero-length sub-block; the next image is read normally");
        GifWriter w = GifWithGlobalTable(8, 2);
        w.Image(0, 0, 8, 1).Data(2, sixPixels).Pixels(0, 1, 8, 1, Bytes(8, 3)).Trailer();
        const Decoded out = DecodeBytes(w.bytes);
        ASSERT_EQ(out.frameCount, 2);
        std::vector<int> expected = rowOfSix;
        expected.insert(expected.end(), 8, 3);
        EXPECT_EQ(out.Indices(1), expected);
    }
    {
        SCOPED_TRACE("end of file after a whole sub-block");
        GifWriter w = GifWithGlobalTable(8, 1);
        w.Image(0, 0, 8, 1).Data(2, sixPixels, {}, false);
        const Decoded out = DecodeBytes(w.bytes);
        ASSERT_EQ(out.frameCount, 1);
        EXPECT_EQ(out.Indices(0), rowOfSix);
    }
    {
        // Image A leaves its 5 data bytes in the sub-block buffer; the bytes
        // that B's sub-block promises but never delivers must not be taken
        // from there (they would be A's codes 2 3 and an end code).
        SCOPED_TRACE("end of file inside a sub-block");
        const std::vector<Code> eight = {{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4},
                                         {0, 4}, {1, 4}, {2, 4}, {3, 4}, {5, 4}};
        ASSERT_EQ(PackCodes(eight).size(), 5u);
        GifWriter w = GifWithGlobalTable(8, 2);
        w.Image(0, 0, 8, 1).Data(2, eight);
        w.Image(0, 1, 8, 1).Raw({2, 5}).Raw(six);
        const Decoded out = DecodeBytes(w.bytes);
        ASSERT_EQ(out.frameCount, 2);
        std::vector<int> expected = {0, 1, 2, 3, 0, 1, 2, 3};
        expected.insert(expected.end(), rowOfSix.begin(), rowOfSix.end());
        EXPECT_EQ(out.Indices(1), expected);
    }
}

}  // namespace
