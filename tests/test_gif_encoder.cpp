// The encoder writes the benchmark's, the fuzzer's and the viewer tests'
// files; its pictures must come back unchanged through the decoder.

#include <random>

#include "gif_encoder.h"
#include "gif_test_decode.h"

using namespace giftest;

namespace {

EncodedImage ImageOf(int left, int top, int width, int height, Bytes indices) {
    EncodedImage image;
    image.left = left;
    image.top = top;
    image.width = width;
    image.height = height;
    image.indices = std::move(indices);
    return image;
}

TEST(GifEncoder, PicturesComeBackThroughTheDecoder) {
    // Noise over 256 colours fills the 4096-code table many times over, so
    // the encoder must clear it; one colour makes codes that repeat the
    // string being defined.
    struct Row {
        int width, height, colours;
        bool noise, interlaced;
    };
    const Row rows[] = {
        {320, 240, 256, true, false}, {97, 61, 256, true, true}, {500, 400, 200, false, false}};
    std::mt19937 random(7);
    for (const Row& row : rows) {
        EncodedGif gif;
        gif.screenWidth = row.width;
        gif.screenHeight = row.height;
        gif.globalPalette = TestPalette(row.colours);
        Bytes indices;
        for (int n = row.width * row.height; n > 0; --n) {
            indices.push_back(uint8_t(row.noise ? random() % row.colours : row.colours - 1));
        }
        gif.images = {ImageOf(0, 0, row.width, row.height, indices)};
        gif.images[0].interlaced = row.interlaced;
        EXPECT_EQ(DecodeBytes(EncodeGif(gif)).Indices(0),
                  std::vector<int>(indices.begin(), indices.end()))
            << row.width << "x" << row.height;
    }
}

TEST(GifEncoder, AnimationKeepsPositionsDelaysLocalTablesAndTransparency) {
    EncodedGif gif;
    gif.screenWidth = 6;
    gif.screenHeight = 4;
    gif.globalPalette = TestPalette(4);
    gif.images = {ImageOf(0, 0, 6, 4, Bytes(24, 1)), ImageOf(2, 1, 3, 2, {5, 0, 5, 0, 5, 0})};
    gif.images[0].delay = 7;
    gif.images[1].delay = 0;
    gif.images[1].localPalette = TestPalette(6);
    gif.images[1].transparentIndex = 0;
    const Decoded out = DecodeBytes(EncodeGif(gif));
    EXPECT_EQ(out.delays, (std::vector<int>{7, 6}));
    std::vector<int> expected(24, 1);
    expected[6 + 2] = expected[6 + 4] = expected[12 + 3] = 5;
    EXPECT_EQ(out.Indices(1), expected);
}

}  // namespace
