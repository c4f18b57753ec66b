// The file level of the decoder: signature, screen descriptor, colour tables,
// extensions, the block loop and files that end early.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>

#include "gif_test_decode.h"

using namespace giftest;

namespace {

// One 2 x 1 image with indices 1, 2 behind the given header.
Bytes TinyGif(std::string_view header) {
    GifWriter w;
    w.Header(header).Screen(2, 1, TableBits(4)).ColourTable(TestPalette(4));
    return w.Pixels(0, 0, 2, 1, {1, 2}).Trailer().bytes;
}

// A decoder opened on bytes, for the block-by-block tests.
struct OpenedDecoder {
    GifDecoder d;
    explicit OpenedDecoder(const Bytes& bytes, int scaleWidth = 100000) {
        gScaleWidth = scaleWidth;
        OpenGifStream(&d, StreamOf(bytes));
    }
};

bool OpenFails(const Bytes& bytes, int scaleWidth = 100000) {
    try {
        OpenedDecoder open(bytes, scaleWidth);
    } catch (const GifDecodeFailure&) {
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------
// Header and logical screen descriptor

TEST(GifHeader, OnlyTheFirstFourBytesAreChecked) {
    struct Row {
        std::string header;
        bool accepted;
    };
    const Row rows[] = {
        {"GIF89a", true},  {"GIF87a", true},  {"GIF8zz", true},  {{'G', 'I', 'F', '8', 0, 0}, true},
        {"GIF99a", false}, {"gif89a", false}, {"GIF79a", false}, {"GJF89a", false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.header);
        const Decoded out = DecodeBytes(TinyGif(row.header));
        EXPECT_EQ(out.failed, !row.accepted);
        if (row.accepted) {
            ASSERT_EQ(out.frameCount, 1);
            EXPECT_EQ(out.Indices(0), (std::vector<int>{1, 2}));
        }
    }
}

TEST(GifHeader, FilesShorterThanHeaderAndScreenFail) {
    const Bytes whole = GifWriter().Header().Screen(1, 1, 0).bytes;  // 13 bytes
    for (size_t n : {0u, 1u, 4u, 6u, 12u}) {
        SCOPED_TRACE(n);
        EXPECT_TRUE(OpenFails(Bytes(whole.begin(), whole.begin() + n)));
    }
    EXPECT_FALSE(OpenFails(whole));
}

TEST(GifHeader, TruncatedGlobalTableFails) {
    const Bytes whole = GifWithGlobalTable(2, 2, 4).bytes;  // 13 + 12 bytes
    EXPECT_FALSE(OpenFails(whole));
    EXPECT_TRUE(OpenFails(Bytes(whole.begin(), whole.end() - 1)));
    EXPECT_TRUE(OpenFails(Bytes(whole.begin(), whole.end() - 12)));
}

TEST(GifHeader, CanvasSizeFollowsTheScaleWidth) {
    struct Row {
        int width, height, scale;
        int canvasWidth, canvasHeight;  // 0 x 0: the file fails
    };
    const Row rows[] = {
        {400, 300, 250, 250, 187},  // 300 / 400 x 250 = 187.5, truncated
        {200, 150, 250, 200, 150},  // narrower: never enlarged
        {250, 10, 250, 250, 10},    // exactly the scale width: kept
        {251, 10, 250, 250, 9},     // one wider: 9.96 -> 9
        {1000, 4, 250, 250, 1},     // 1.0 -> one row
        {1000, 3, 250, 0, 0},       // 0.75 -> no row: rejected
        {0, 10, 250, 0, 0},         // a screen without columns,
        {10, 0, 250, 0, 0},         // without rows,
        {0, 0, 250, 0, 0},          // or without either: rejected
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << row.width << "x" << row.height << " at " << row.scale);
        const Bytes bytes = GifWriter().Header().Screen(row.width, row.height, 0).bytes;
        if (row.canvasWidth == 0) {
            EXPECT_TRUE(OpenFails(bytes, row.scale));
            continue;
        }
        OpenedDecoder open(bytes, row.scale);
        EXPECT_EQ(open.d.scaledWidth, row.canvasWidth);
        EXPECT_EQ(open.d.scaledHeight, row.canvasHeight);
        const uint8_t* canvas = open.d.canvas.get();
        const size_t size = size_t(row.canvasWidth) * row.canvasHeight * 4;
        ASSERT_NE(canvas, nullptr);
        EXPECT_EQ(std::count(canvas, canvas + size, 0), ptrdiff_t(size));
    }
}

TEST(GifHeader, StringStoreSizeDoesNotWrapIn32Bits) {
    // 65535 x 32769 x 2 + 261 is 4295033091; cut to 32 bits it would be 65795.
    // The canvas is downscaled to 250 x 125, so only the store is large.
    const Bytes bytes = GifWriter().Header().Screen(65535, 32769, 0).bytes;
    try {
        OpenedDecoder open(bytes, 250);
        EXPECT_EQ(open.d.stringStoreSize, 4295033091ull);
        EXPECT_EQ(open.d.scaledHeight, 125);
    } catch (const std::bad_alloc&) {
        GTEST_SKIP() << "this machine cannot reserve a 4 GB string store";
    }
}

// ---------------------------------------------------------------------------
// Extensions and the block loop

TEST(GifExtensions, DelayOfZeroBecomesSixOthersAreKept) {
    struct Row {
        int delayInFile;  // -1: a GIF87a file without graphic control
        int frameDelay;
    };
    const Row rows[] = {{-1, 5}, {0, 6}, {1, 1}, {7, 7}, {65535, 65535}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.delayInFile);
        GifWriter w;
        w.Header(row.delayInFile < 0 ? "GIF87a" : "GIF89a").Screen(1, 1, TableBits(4));
        w.ColourTable(TestPalette(4));
        if (row.delayInFile >= 0) w.Control(1, row.delayInFile);
        const Decoded out = DecodeBytes(w.Pixels(0, 0, 1, 1, {1}).Trailer().bytes);
        ASSERT_EQ(out.frameCount, 1);
        EXPECT_EQ(out.delays[0], row.frameDelay);
    }
}

TEST(GifExtensions, ControlValuesStayInForceForLaterImages) {
    GifWriter w = GifWithGlobalTable(2, 2);
    w.Control(0, 9, 3).Pixels(0, 0, 2, 1, {3, 1}).Pixels(0, 1, 2, 1, {2, 3}).Trailer();
    const Decoded out = DecodeBytes(w.bytes);
    ASSERT_EQ(out.frameCount, 2);
    EXPECT_EQ(out.delays, (std::vector<int>{9, 9}));
    EXPECT_EQ(out.Indices(1), (std::vector<int>{-1, 1, 2, -1}));
}

TEST(GifExtensions, NetscapeLoopCountIsKeptButChangesNothing) {
    struct Row {
        std::string identifier;
        int loopCount;
    };
    const Row rows[] = {{"NETSCAPE2.0", 513}, {"NETSCAPX2.0", 0}, {"ANIMEXTS1.0", 0}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.identifier);
        GifWriter w = GifWithGlobalTable(1, 1);
        w.Application(row.identifier, {{1, 0x01, 0x02}}).Pixels(0, 0, 1, 1, {1}).Trailer();
        OpenedDecoder open(w.bytes);
        EXPECT_EQ(ReadGifBlock(&open.d), 0x21);
        EXPECT_EQ(open.d.loopCount, row.loopCount);
        EXPECT_EQ(ReadGifBlock(&open.d), 0x2C);
    }
    // A loop count of 1 (play once) changes nothing about the frames.
    GifWriter w = GifWithGlobalTable(1, 1);
    w.Netscape(1).Pixels(0, 0, 1, 1, {1}).Pixels(0, 0, 1, 1, {2}).Trailer();
    EXPECT_EQ(DecodeBytes(w.bytes).frameCount, 2);
}

TEST(GifExtensions, SubBlocksAreSkippedByLengthNotByContent) {
    // Every skipped payload holds the bytes of an image, an extension and a trailer.
    const Bytes decoy = {0x2C, 0x21, 0x3B, 0x00, 0x2C};
    const Bytes grid = {0x2C, 0, 0x3B, 0, 0x21, 0, 0x2C, 0, 8, 8, 1, 2};
    struct Row {
        const char* name;
        GifWriter extension;
    };
    Row rows[] = {
        {"comment", GifWriter().Comment({decoy, {0x3B}, decoy})},
        {"plain text", GifWriter().PlainText(grid, {decoy, decoy})},
        {"application", GifWriter().Application("XMP DataXMP", {decoy, {0x3B}})},
    };
    for (Row& row : rows) {
        SCOPED_TRACE(row.name);
        GifWriter w = GifWithGlobalTable(2, 1);
        w.Raw(row.extension.bytes).Pixels(0, 0, 2, 1, {3, 1}).Raw(row.extension.bytes).Trailer();
        const Decoded out = DecodeBytes(w.bytes);
        ASSERT_EQ(out.frameCount, 1);
        EXPECT_EQ(out.Indices(0), (std::vector<int>{3, 1}));
    }
}

TEST(GifExtensions, StrayBytesBetweenBlocksAreReturnedAndSkipped) {
    GifWriter w = GifWithGlobalTable(2, 1);
    w.Raw({0x00, 0x42}).Pixels(0, 0, 2, 1, {1, 2}).Raw({0xFF, 0x80});
    w.Pixels(1, 0, 1, 1, {3}).Trailer();
    {
        OpenedDecoder open(w.bytes);
        EXPECT_EQ(ReadGifBlock(&open.d), 0x00);
        EXPECT_EQ(ReadGifBlock(&open.d), 0x42);
        EXPECT_EQ(ReadGifBlock(&open.d), 0x2C);
        EXPECT_EQ(ReadGifBlock(&open.d), 0xFF);
        EXPECT_EQ(ReadGifBlock(&open.d), 0x80);
        EXPECT_EQ(ReadGifBlock(&open.d), 0x2C);
        EXPECT_EQ(ReadGifBlock(&open.d), 0x3B);
        EXPECT_EQ(ReadGifBlock(&open.d), 0x3B);  // end of file
        EXPECT_EQ(open.d.frameCount, 2);
    }
    const Decoded out = DecodeBytes(w.bytes);
    ASSERT_EQ(out.frameCount, 2);
    EXPECT_EQ(out.Indices(1), (std::vector<int>{1, 3}));
}

TEST(GifExtensions, UnknownExtensionBytesAreReadAsBlocks) {
    // Nothing of an unknown label is consumed, so its payload is met byte by
    // byte: harmless bytes are skipped, a 0x3B among them ends the file.
    struct Row {
        Bytes extension;
        int frames;
    };
    const Row rows[] = {
        {{0x21, 0x99, 2, 0x10, 0x20, 0}, 2},
        {{0x21, 0x99, 2, 0x3B, 0x20, 0}, 1},
    };
    for (const Row& row : rows) {
        GifWriter w = GifWithGlobalTable(1, 1);
        w.Pixels(0, 0, 1, 1, {1}).Raw(row.extension).Pixels(0, 0, 1, 1, {2}).Trailer();
        EXPECT_EQ(DecodeBytes(w.bytes).frameCount, row.frames);
    }
}

TEST(GifExtensions, NothingAfterTheTrailerIsRead) {
    GifWriter w = GifWithGlobalTable(1, 1);
    w.Pixels(0, 0, 1, 1, {1}).Trailer().Image(5, 5, 100, 100).Raw({1, 0xFF});
    const Decoded out = DecodeBytes(w.bytes);
    EXPECT_FALSE(out.failed);
    EXPECT_EQ(out.frameCount, 1);
}

TEST(GifExtensions, NoImageBeforeTheTrailerFails) {
    EXPECT_TRUE(DecodeBytes(GifWithGlobalTable(1, 1).Trailer().bytes).failed);
    EXPECT_TRUE(DecodeBytes(GifWithGlobalTable(1, 1).bytes).failed);
    EXPECT_TRUE(DecodeBytes(GifWithGlobalTable(1, 1).Control(1, 4).Comment({{1}}).bytes).failed);
}

// ---------------------------------------------------------------------------
// Image rectangle, colour tables and transparency

TEST(GifImage, RectangleMustLieInsideTheScreen) {
    struct Row {
        int left, top, width, height;
        bool accepted;
    };
    const Row rows[] = {
        {10, 0, 10, 1, true}, {11, 0, 10, 1, false}, {0, 5, 1, 5, true},
        {0, 6, 1, 5, false},  {19, 9, 1, 1, true},   {20, 0, 1, 1, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(testing::Message()
                     << r.left << "," << r.top << " " << r.width << "x" << r.height);
        GifWriter w = GifWithGlobalTable(20, 10);
        w.Pixels(r.left, r.top, r.width, r.height, Bytes(size_t(r.width) * r.height, 1)).Trailer();
        EXPECT_EQ(DecodeBytes(w.bytes).failed, !r.accepted);
    }
}

TEST(GifImage, FirstPixelLandsAtLeftTop) {
    GifWriter w = GifWithGlobalTable(6, 4);
    const Decoded out = DecodeBytes(w.Pixels(3, 2, 2, 1, {1, 2}).Trailer().bytes);
    ASSERT_EQ(out.frameCount, 1);
    std::vector<int> expected(24, -1);
    expected[2 * 6 + 3] = 1;
    expected[2 * 6 + 4] = 2;
    EXPECT_EQ(out.Indices(0), expected);
}

TEST(GifImage, ImageWithoutAnyColourTableFails) {
    GifWriter w;
    w.Header().Screen(1, 1, 0).Pixels(0, 0, 1, 1, {0}).Trailer();
    EXPECT_TRUE(DecodeBytes(w.bytes).failed);
}

TEST(GifImage, TransparentIndexAgainstTableSize) {
    // A global table must contain the transparent index; a local table may
    // not, and then nothing of it is transparent.
    struct Row {
        const char* name;
        int transparent;
        bool local;
        std::vector<int> drawn;  // empty: the file fails
    };
    const std::vector<Row> rows = {
        {"global, index 3", 3, false, {0, 1, 2, -1}},  {"global, index 4", 4, false, {}},
        {"local, index 3", 3, true, {0, 1, 2, -1}},    {"local, index 4", 4, true, {0, 1, 2, 3}},
        {"local, index 200", 200, true, {0, 1, 2, 3}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        GifWriter w = GifWithGlobalTable(4, 1, 4);
        w.Control(1, 10, row.transparent);
        w.Pixels(0, 0, 4, 1, {0, 1, 2, 3}, 0, row.local ? TestPalette(4) : std::vector<Rgb>{});
        const Decoded out = DecodeBytes(w.Trailer().bytes);
        EXPECT_EQ(out.failed, row.drawn.empty());
        if (!row.drawn.empty()) {
            ASSERT_EQ(out.frameCount, 1);
            EXPECT_EQ(out.Indices(0), row.drawn);
        }
    }
}

TEST(GifImage, TransparentIndexNeedsItsFlag) {
    // Graphic control with the flag clear but an index byte of 2.
    GifWriter w = GifWithGlobalTable(4, 1);
    w.Raw({0x21, 0xF9, 4, 0x00, 10, 0, 2, 0}).Pixels(0, 0, 4, 1, {0, 1, 2, 3}).Trailer();
    const Decoded out = DecodeBytes(w.bytes);
    ASSERT_EQ(out.frameCount, 1);
    EXPECT_EQ(out.Indices(0), (std::vector<int>{0, 1, 2, 3}));
}

TEST(GifImage, LocalTableAppliesToItsImageOnly) {
    std::vector<Rgb> local = {{200, 10, 10}, {10, 200, 10}};
    GifWriter w = GifWithGlobalTable(2, 2);
    w.Pixels(0, 0, 2, 1, {0, 1}, 0, local).Pixels(0, 1, 2, 1, {0, 1}).Trailer();
    const Decoded out = DecodeBytes(w.bytes);
    ASSERT_EQ(out.frameCount, 2);
    EXPECT_EQ(out.At(1, 0, 0), (Rgba{200, 10, 10, 255}));
    EXPECT_EQ(out.At(1, 1, 0), (Rgba{10, 200, 10, 255}));
    EXPECT_EQ(out.At(1, 0, 1), Opaque(TestColour(0)));
    EXPECT_EQ(out.At(1, 1, 1), Opaque(TestColour(1)));
}

TEST(GifImage, TransparencyShowsWhatTheCanvasHeld) {
    GifWriter w = GifWithGlobalTable(4, 1, 8);
    w.Control(1, 10, 2).Pixels(0, 0, 4, 1, {2, 1, 1, 2});  // first frame: A = 0 at 2
    w.Pixels(0, 0, 4, 1, {2, 3, 2, 3});                    // second shows the first
    w.Control(1, 10, 3).Pixels(0, 0, 4, 1, {3, 3, 3, 3});  // all transparent
    w.Control(1, 10, 5).Pixels(0, 0, 4, 1, {3, 5, 3, 5});  // 3 is opaque again
    const Decoded out = DecodeBytes(w.Trailer().bytes);
    ASSERT_EQ(out.frameCount, 4);
    EXPECT_EQ(out.Indices(0), (std::vector<int>{-1, 1, 1, -1}));
    EXPECT_EQ(out.At(0, 0, 0), (Rgba{0, 0, 0, 0}));
    EXPECT_EQ(out.Indices(1), (std::vector<int>{-1, 3, 1, 3}));
    EXPECT_EQ(out.Indices(2), (std::vector<int>{-1, 3, 1, 3}));
    EXPECT_EQ(out.Indices(3), (std::vector<int>{3, 3, 3, 3}));
}

TEST(GifImage, IndicesBeyondTheTableAreNotDrawn) {
    // Minimum code size 8 gives 256 roots for a 4-entry table; code size 2
    // gives 4 roots for a 2-entry table.
    GifWriter four = GifWithGlobalTable(4, 1, 4);
    four.Pixels(0, 0, 4, 1, {1, 1, 1, 1}).Pixels(0, 0, 4, 1, {0, 200, 3, 4}, 0, {}, 8).Trailer();
    const Decoded a = DecodeBytes(four.bytes);
    ASSERT_EQ(a.frameCount, 2);
    EXPECT_EQ(a.Indices(1), (std::vector<int>{0, 1, 3, 1}));

    GifWriter two = GifWithGlobalTable(4, 1, 2);
    two.Pixels(0, 0, 4, 1, {1, 1, 0, 0}).Pixels(0, 0, 4, 1, {2, 3, 0, 1}).Trailer();
    const Decoded b = DecodeBytes(two.bytes);
    ASSERT_EQ(b.frameCount, 2);
    EXPECT_EQ(b.Indices(1), (std::vector<int>{1, 1, 0, 1}));
}

// ---------------------------------------------------------------------------
// Files that end early

TEST(GifTruncation, EndInsideTheNextBlockKeepsEarlierImages) {
    // Image A, then image B with a 4-entry local table, cut at every length
    // up to its first data byte.
    const Bytes head = GifWithGlobalTable(2, 1).bytes;
    const Bytes imageA = GifWriter().Pixels(0, 0, 2, 1, {1, 2}).bytes;
    const Bytes imageB = GifWriter().Pixels(0, 0, 1, 1, {3}, 0, TestPalette(4)).bytes;
    // B: separator (1), descriptor (9), table (12), minimum code size (1), data.
    const size_t beforeCodeSize = 1 + 9 + 12;
    for (size_t cut = 0; cut <= beforeCodeSize + 1; ++cut) {
        SCOPED_TRACE(cut);
        const Bytes partB(imageB.begin(), imageB.begin() + cut);
        const Bytes bytes = Join({head, imageA, partB});
        // Up to the code size byte B does not count; once it is there, the
        // missing data end B with no pixels and B is a frame.
        const int frames = cut <= beforeCodeSize ? 1 : 2;
        const Decoded out = DecodeBytes(bytes);
        ASSERT_FALSE(out.failed);
        ASSERT_EQ(out.frameCount, frames);
        EXPECT_EQ(out.frames.back(), out.frames.front());

        OpenedDecoder open(bytes);
        EXPECT_EQ(ReadGifBlock(&open.d), 0x2C);
        if (cut > 0) {
            EXPECT_EQ(ReadGifBlock(&open.d), cut <= beforeCodeSize ? 0x3B : 0x2C);
        }
        EXPECT_EQ(ReadGifBlock(&open.d), 0x3B);
        EXPECT_EQ(open.d.frameCount, frames);

        // Without image A nothing complete is left.
        EXPECT_EQ(DecodeBytes(Join({head, partB})).failed, frames == 1);
    }
}

TEST(GifTruncation, EndInsideAnExtensionEndsTheFile) {
    const std::vector<Bytes> cuts = {
        {0x21},
        {0x21, 0xF9, 4, 0},
        {0x21, 0xFE, 5, 'a', 'b'},
        {0x21, 0xFF, 11, 'N', 'E', 'T', 'S'},
        {0x21, 0xFF, 11, 'N', 'E', 'T', 'S', 'C', 'A', 'P', 'E', '2', '.', '0', 3, 1},
        {0x21, 0x01, 12, 0, 0},
    };
    for (const Bytes& cut : cuts) {
        GifWriter w = GifWithGlobalTable(1, 1);
        const Decoded out = DecodeBytes(w.Pixels(0, 0, 1, 1, {1}).Raw(cut).bytes);
        EXPECT_FALSE(out.failed);
        EXPECT_EQ(out.frameCount, 1);
    }
}

}  // namespace
