// The image data: LZW codes, their widths, the string table and sub-blocks.

#include <unistd.h>

#include <random>

#include "gif_encoder.h"
#include "gif_test_decode.h"

using namespace giftest;

namespace {

// A width x 1 image from codes at code size 2: clear 4, end 5, first free 6.
Decoded DecodeCodes(int width, const std::vector<Code>& codes, std::vector<size_t> sizes = {255}) {
    GifWriter w = GifWithGlobalTable(width, 1);
    return DecodeBytes(w.Image(0, 0, width, 1).Data(2, codes, sizes).Trailer().bytes);
}

TEST(GifLzw, TwoByteExampleGivesFourPixelsOfOne) {
    GifWriter w = GifWithGlobalTable(2, 2);
    w.Image(0, 0, 2, 2).Raw({2, 2, 0x8C, 0x53, 0}).Trailer();
    EXPECT_EQ(DecodeBytes(w.bytes).Indices(0), (std::vector<int>{1, 1, 1, 1}));
}

TEST(GifLzw, CodeSequences) {
    // Codes and the pixels of an image that wide, or {}: fails on a 2 x 1 image.
    const std::tuple<const char*, std::vector<Code>, std::vector<int>> rows[] = {
        {"next free code", {{4, 3}, {2, 3}, {3, 3}, {7, 3}, {5, 4}}, {2, 3, 3, 3}},
        {"one above the next free code", {{4, 3}, {1, 3}, {7, 3}, {5, 3}}, {}},
        // Data without a leading clear code decode from their first code on.
        {"first code a root", {{1, 3}, {2, 3}, {6, 3}, {5, 4}}, {1, 2, 1, 2}},
        {"first code the end code", {{5, 3}}, {-1, -1}},
        {"first code the first free code", {{6, 3}, {1, 3}, {5, 3}}, {}},
        {"first code above the first free code", {{7, 3}, {1, 3}, {5, 3}}, {}},
        {"second code clear", {{4, 3}, {4, 3}, {1, 3}, {5, 3}}, {}},
        {"second code the next free code", {{4, 3}, {6, 3}, {5, 3}}, {}},
        {"end code before the last pixel", {{4, 3}, {1, 3}, {2, 3}, {5, 3}}, {1, 2, -1, -1}},
        {"data ending before the end code",
         {{4, 3}, {0, 3}, {1, 3}, {2, 3}, {3, 4}, {0, 4}, {1, 4}},
         {0, 1, 2, 3, 0, 1, -1, -1}},
        {"one pixel too many", {{4, 3}, {1, 3}, {1, 3}, {1, 3}, {5, 4}}, {}},
    };
    for (const auto& [name, codes, pixels] : rows) {
        const Decoded out = DecodeCodes(pixels.empty() ? 2 : int(pixels.size()), codes);
        EXPECT_EQ(out.failed ? std::vector<int>{} : out.Indices(0), pixels) << name;
    }
}

TEST(GifLzw, MinimumCodeSize) {
    // Clear, 1, 0, end at the row's code size: two pixels unless refused.
    const int rows[][3] = {{1, 4, 0}, {2, 4, 1}, {8, 4, 1}, {9, 4, 0}, {2, 2, 1}, {8, 2, 0}};
    for (const auto& [minCodeSize, colours, accepted] : rows) {
        const uint32_t clear = 1u << minCodeSize;
        const int bits = minCodeSize + 1;
        GifWriter w = GifWithGlobalTable(2, 1, colours);
        w.Image(0, 0, 2, 1)
            .Data(minCodeSize, {{clear, bits}, {1, bits}, {0, bits}, {clear + 1, bits}});
        const Decoded out = DecodeBytes(w.Trailer().bytes);
        EXPECT_EQ(out.failed ? std::vector<int>{} : out.Indices(0),
                  (accepted ? std::vector<int>{1, 0} : std::vector<int>{}))
            << minCodeSize << " with " << colours << " colours";
    }
}

TEST(GifLzw, CodesStraddleSubBlockBoundaries) {
    Bytes picture;
    for (int i = 0; i < 3000; ++i) picture.push_back(uint8_t(i * i / 7 % 4));
    // Sub-block sizes in turn; a short one after a long one leaves stale bytes behind it.
    const std::vector<size_t> rows[] = {{1}, {2}, {17}, {254}, {200, 8, 9, 10, 11}};
    for (const std::vector<size_t>& sizes : rows) {
        EXPECT_EQ(DecodeCodes(3000, RootCodes(picture, 2), sizes).Indices(0),
                  std::vector<int>(picture.begin(), picture.end()))
            << sizes[0] << " bytes first";
    }
}

TEST(GifLzw, FullTableKeepsTwelveBitCodesUntilAClear) {
    // Root codes fill the table (4095 is pixels 4089, 4090); 12-bit codes add
    // nothing until a clear, after which codes are 3 bits and 6 is "1 2".
    Bytes picture;
    for (int i = 0; i < 4200; ++i) picture.push_back(uint8_t(i * i / 5 % 4));
    std::vector<Code> codes = RootCodes(picture, 2);
    codes.pop_back();  // the end code
    codes.insert(codes.end(), {{4095, 12}, {4, 12}, {1, 3}, {2, 3}, {6, 3}, {5, 4}});
    std::vector<int> expected(picture.begin(), picture.end());
    expected.insert(expected.end(), {picture[4089], picture[4090], 1, 2, 1, 2});
    EXPECT_EQ(DecodeCodes(int(expected.size()), codes).Indices(0), expected);
}

// A 2 x 1 file whose first image ends (end code) in its first sub-block; a
// second sub-block follows that holds a whole second image. The byte after
// the end code's sub-block is taken as the terminator, so the block loop
// meets the second image in the sub-block's bytes.
Bytes EndCodeBeforeAnImageInSubBlocks() {
    GifWriter second;
    second.Image(1, 0, 1, 1).Data(2, RootCodes({2}, 2));
    GifWriter w = GifWithGlobalTable(2, 1);
    w.Image(0, 0, 1, 1).Data(2, RootCodes({1}, 2));
    w.bytes.pop_back();  // the terminator
    w.Raw({int(second.bytes.size())}).Raw(second.bytes).Raw({0});
    return w.Trailer().bytes;
}

TEST(GifLzw, DataAfterTheEndCodeAreReadAsBlocks) {
    const Decoded out = DecodeBytes(EndCodeBeforeAnImageInSubBlocks());
    ASSERT_EQ(out.frameCount, 2);
    EXPECT_EQ(out.Indices(1), (std::vector<int>{1, 2}));
}

TEST(GifLzw, StreamThatCannotSeekDecodesAlike) {
    // The fast decoder reads data ahead of the end code and seeks back; a
    // pipe cannot seek and is decoded the straightforward way.
    const Bytes bytes = EndCodeBeforeAnImageInSubBlocks();
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    ASSERT_EQ(write(fds[1], bytes.data(), bytes.size()), ssize_t(bytes.size()));
    close(fds[1]);
    Decoded fromPipe;
    gScaleWidth = 100000;
    EXPECT_EQ(DecodeGifStream(fdopen(fds[0], "rb"), &fromPipe), 2);
    EXPECT_EQ(fromPipe.frames, DecodeBytes(bytes).frames);
}

TEST(GifLzw, LongDataAcrossChunksAndCutShort) {
    // Noise of 256 colours: about a megabyte of data, gathered in several
    // chunks, with clear codes and sub-blocks at every alignment; then the
    // same file cut at points inside the data.
    EncodedGif gif;
    gif.screenWidth = 1100, gif.screenHeight = 900;
    gif.globalPalette = TestPalette(256);
    EncodedImage im;
    im.width = gif.screenWidth, im.height = gif.screenHeight;
    std::mt19937 random(3);
    for (int i = 0; i < im.width * im.height; ++i) im.indices.push_back(uint8_t(random()));
    gif.images.push_back(im);
    const Bytes bytes = EncodeGif(gif);
    ASSERT_GT(bytes.size(), 700000u);
    for (int scale : {100000, 250}) {
        EXPECT_EQ(DecodeBytes(bytes, scale).frameCount, 1);
        for (size_t cut : {size_t(262150), size_t(600001)}) {
            EXPECT_EQ(DecodeBytes(Bytes(bytes.begin(), bytes.begin() + cut), scale).frames.size(), 1u);
        }
    }
}

TEST(GifLzw, LongStringsOfFlatPictures) {
    // Flat bands with specks: strings of every length, several clear codes
    // per image, and frames that repeat rows of the one before. Opaque
    // frames at 250 jump rows, transparent ones fill rows in batches,
    // interlaced ones come out of order; the cut files end inside the data.
    for (const bool transparent : {false, true}) {
        for (const bool interlaced : {false, true}) {
            EncodedGif gif;
            gif.screenWidth = 400, gif.screenHeight = 300;
            gif.globalPalette = TestPalette(16);
            for (int t = 0; t < 3; ++t) {
                EncodedImage im;
                im.width = gif.screenWidth - 40 * t, im.height = gif.screenHeight - 30 * t;
                im.left = 20 * t, im.top = 10 * t;
                im.interlaced = interlaced;
                im.transparentIndex = transparent ? 0 : -1;
                for (int y = 0; y < im.height; ++y) {
                    for (int x = 0; x < im.width; ++x) {
                        const bool speck = (x * 31 + y * 17 + t) % 97 == 0;
                        im.indices.push_back(uint8_t(speck ? 9 : ((x + y * 3) / 37 + y / 23 + t) % 7));
                    }
                }
                gif.images.push_back(im);
            }
            const Bytes bytes = EncodeGif(gif);
            // Under a quarter of a byte per pixel: mostly long strings.
            ASSERT_LT(bytes.size() * 4, size_t(400 * 300));
            for (int scale : {100000, 400, 250, 100}) {
                EXPECT_EQ(DecodeBytes(bytes, scale).frameCount, 3) << scale;
                for (size_t cut : {bytes.size() / 5, bytes.size() / 2}) {
                    EXPECT_FALSE(DecodeBytes(Bytes(bytes.begin(), bytes.begin() + cut), scale).frames.empty());
                }
            }
        }
    }
}

}  // namespace
