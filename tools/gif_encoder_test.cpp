// The encoder writes the benchmark's and the fuzzer's files; a fault in it
// would make both measure the wrong thing. Its bytes are checked against
// the format by hand-derived streams and a block walker, and its pictures by
// decoding them with the viewer's own decoder.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "gif/gif_decoder.h"
#include "gif_encoder.h"

namespace {

struct DecodedFrame {
    int width;
    int height;
    int delay;
    std::vector<uint8_t> rgba;
};

class CollectingSink : public GifFrameSink {
public:
    void Frame(const GifFrame& frame) override {
        const size_t bytes = static_cast<size_t>(frame.width) * frame.height * 4;
        frames.push_back({frame.width, frame.height, frame.delay,
                          std::vector<uint8_t>(frame.rgba, frame.rgba + bytes)});
    }
    std::vector<DecodedFrame> frames;
};

// Decodes bytes at full size; an empty result means the decoder refused them.
std::vector<DecodedFrame> Decode(std::vector<uint8_t> bytes) {
    gScaleWidth = 2147483647;
    std::FILE* stream = fmemopen(bytes.data(), bytes.size(), "rb");
    if (!stream) throw std::runtime_error("fmemopen failed");
    CollectingSink sink;
    try {
        DecodeGifStream(stream, &sink);
    } catch (const GifDecodeFailure&) {
        return {};
    }
    return sink.frames;
}

std::vector<uint8_t> GreyPalette(int entries) {
    std::vector<uint8_t> palette;
    for (int i = 0; i < entries; ++i) {
        const auto v = static_cast<uint8_t>(i * 255 / (entries > 1 ? entries - 1 : 1));
        // Distinct colours per entry so that a wrong index shows in RGB.
        palette.push_back(v);
        palette.push_back(static_cast<uint8_t>(255 - v));
        palette.push_back(static_cast<uint8_t>(i));
    }
    return palette;
}

// The RGBA picture that an image drawn at (0,0) over a screen of its size
// must decode to.
std::vector<uint8_t> Expected(const EncodedImage& image, const std::vector<uint8_t>& palette) {
    std::vector<uint8_t> rgba;
    for (uint8_t index : image.indices) {
        rgba.insert(rgba.end(), {palette[index * 3u], palette[index * 3u + 1], palette[index * 3u + 2], 255});
    }
    return rgba;
}

EncodedGif OneImage(int width, int height, int colours, std::vector<uint8_t> indices) {
    EncodedGif gif;
    gif.screenWidth = width;
    gif.screenHeight = height;
    gif.globalPalette = GreyPalette(colours);
    EncodedImage image;
    image.width = width;
    image.height = height;
    image.indices = std::move(indices);
    gif.images.push_back(std::move(image));
    return gif;
}

// Offset of the first image's LZW minimum code size byte in a file written
// with a global table, no loop extension and no control extension.
size_t ImageDataOffset(const EncodedGif& gif) {
    size_t tableBytes = 0;
    if (!gif.globalPalette.empty()) {
        size_t entries = 2;
        while (entries < gif.globalPalette.size() / 3) entries *= 2;
        tableBytes = entries * 3;
    }
    return 13 + tableBytes + 10;
}

// ---- Exact LZW streams, worked out by hand from the GIF89a rules ----

TEST(GifEncoderLzw, FourPixelsOfOneColourMatchTheHandWorkedStream) {
    // Codes 4 (clear), 1, 6, 1 in 3 bits, then the end code 5 in 4 bits:
    // the decoder's next free code reaches 8 with the last data code.
    EncodedGif gif = OneImage(2, 2, 4, {1, 1, 1, 1});
    gif.writeLoop = false;
    gif.images[0].writeControl = false;
    const std::vector<uint8_t> bytes = EncodeGif(gif);
    const size_t at = ImageDataOffset(gif);
    const std::vector<uint8_t> data(bytes.begin() + static_cast<ptrdiff_t>(at), bytes.end());
    EXPECT_EQ(data, (std::vector<uint8_t>{0x02, 0x02, 0x8C, 0x53, 0x00, 0x3B}));
}

TEST(GifEncoderLzw, SinglePixelIsClearRootEnd) {
    // No string is ever added, so all three codes stay minCodeSize + 1 wide:
    // 4 | 2 << 3 | 5 << 6 = 0x154.
    EncodedGif gif = OneImage(1, 1, 4, {2});
    gif.writeLoop = false;
    gif.images[0].writeControl = false;
    const std::vector<uint8_t> bytes = EncodeGif(gif);
    const std::vector<uint8_t> data(bytes.begin() + static_cast<ptrdiff_t>(ImageDataOffset(gif)),
                                    bytes.end());
    EXPECT_EQ(data, (std::vector<uint8_t>{0x02, 0x02, 0x54, 0x01, 0x00, 0x3B}));
}

TEST(GifEncoderLzw, MinimumCodeSizeFollowsThePaddedTable) {
    // (palette entries, minimum code size): never below 2, as the decoder demands.
    const std::vector<std::pair<int, int>> cases = {{1, 2}, {2, 2}, {3, 2},  {4, 2},
                                                    {5, 3}, {8, 3}, {16, 4}, {129, 8}};
    for (const auto& [entries, codeSize] : cases) {
        EncodedGif gif = OneImage(1, 1, entries, {0});
        gif.writeLoop = false;
        gif.images[0].writeControl = false;
        const std::vector<uint8_t> bytes = EncodeGif(gif);
        EXPECT_EQ(bytes[ImageDataOffset(gif)], codeSize) << entries << " entries";
    }
}

// ---- File structure ----

// Walks the blocks of a file the way a reader must and records what it saw;
// fails the test on any sub-block chain that does not end in a terminator.
struct Walk {
    std::vector<std::vector<uint8_t>> controls;  // the 4 bytes behind "21 F9 04"
    std::vector<std::vector<uint8_t>> loops;     // whole application blocks
    std::vector<uint8_t> imagePacked;
    std::vector<size_t> longestSubBlock;
    bool trailer = false;
};

Walk WalkBlocks(const std::vector<uint8_t>& b) {
    Walk walk;
    size_t i = 13;
    if (b[10] & 0x80) i += 3u * (2u << (b[10] & 7));
    auto subBlocks = [&](size_t* longest) {
        while (true) {
            if (i >= b.size()) {
                ADD_FAILURE() << "sub-blocks run past the end";
                return;
            }
            const size_t length = b[i++];
            if (length == 0) return;
            if (longest) *longest = std::max(*longest, length);
            i += length;
        }
    };
    while (i < b.size()) {
        const uint8_t introducer = b[i++];
        if (introducer == 0x3B) {
            walk.trailer = i == b.size();
            break;
        }
        if (introducer == 0x21 && b[i] == 0xF9) {
            EXPECT_EQ(b[i + 1], 4);
            walk.controls.emplace_back(b.begin() + static_cast<ptrdiff_t>(i + 2),
                                       b.begin() + static_cast<ptrdiff_t>(i + 6));
            EXPECT_EQ(b[i + 6], 0);
            i += 7;
        } else if (introducer == 0x21 && b[i] == 0xFF) {
            const size_t start = i - 1;
            i += 1 + 12;
            subBlocks(nullptr);
            walk.loops.emplace_back(b.begin() + static_cast<ptrdiff_t>(start),
                                    b.begin() + static_cast<ptrdiff_t>(i));
        } else if (introducer == 0x2C) {
            const uint8_t packed = b[i + 8];
            walk.imagePacked.push_back(packed);
            i += 9;
            if (packed & 0x80) i += 3u * (2u << (packed & 7));
            ++i;  // minimum code size
            size_t longest = 0;
            subBlocks(&longest);
            walk.longestSubBlock.push_back(longest);
        } else {
            ADD_FAILURE() << "unexpected byte " << int(introducer) << " at " << i - 1;
            break;
        }
    }
    return walk;
}

TEST(GifEncoderFile, HeaderScreenAndPaddedGlobalTable) {
    EncodedGif gif = OneImage(300, 2, 5, std::vector<uint8_t>(600, 4));
    gif.backgroundIndex = 3;
    const std::vector<uint8_t> b = EncodeGif(gif);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 6), "GIF89a");
    EXPECT_EQ(b[6] | b[7] << 8, 300);
    EXPECT_EQ(b[8] | b[9] << 8, 2);
    EXPECT_EQ(b[10] & 0x87, 0x82);  // global table of 2^(2+1) = 8 entries
    EXPECT_EQ(b[11], 3);
    // Entries 5..7 are padding and black.
    EXPECT_EQ(std::vector<uint8_t>(b.begin() + 13 + 15, b.begin() + 13 + 24), std::vector<uint8_t>(9, 0));
    EXPECT_TRUE(WalkBlocks(b).trailer);
}

TEST(GifEncoderFile, ControlAndLoopExtensionsCarryTheirFields) {
    EncodedGif gif = OneImage(4, 4, 16, std::vector<uint8_t>(16, 0));
    gif.loopCount = 513;
    gif.images[0].delay = 300;
    gif.images[0].disposal = 2;
    gif.images[0].transparentIndex = 9;
    EncodedImage second = gif.images[0];
    second.delay = 0;
    second.disposal = 3;
    second.transparentIndex = -1;
    gif.images.push_back(second);
    EncodedImage silent = gif.images[0];
    silent.writeControl = false;
    gif.images.push_back(silent);

    const Walk walk = WalkBlocks(EncodeGif(gif));
    ASSERT_EQ(walk.loops.size(), 1u);
    EXPECT_EQ(walk.loops[0], (std::vector<uint8_t>{0x21, 0xFF, 0x0B, 'N', 'E', 'T', 'S', 'C', 'A', 'P',
                                                   'E', '2', '.', '0', 0x03, 0x01, 0x01, 0x02, 0x00}));
    ASSERT_EQ(walk.controls.size(), 2u);
    EXPECT_EQ(walk.controls[0], (std::vector<uint8_t>{2 << 2 | 1, 0x2C, 0x01, 9}));
    EXPECT_EQ(walk.controls[1], (std::vector<uint8_t>{3 << 2, 0, 0, 0}));
    EXPECT_EQ(walk.imagePacked.size(), 3u);

    gif.writeLoop = false;
    EXPECT_TRUE(WalkBlocks(EncodeGif(gif)).loops.empty());
}

TEST(GifEncoderFile, LocalTableAndInterlaceFlags) {
    EncodedGif gif = OneImage(8, 8, 4, std::vector<uint8_t>(64, 1));
    gif.images[0].localPalette = GreyPalette(32);
    gif.images[0].interlaced = true;
    const Walk walk = WalkBlocks(EncodeGif(gif));
    ASSERT_EQ(walk.imagePacked.size(), 1u);
    EXPECT_EQ(walk.imagePacked[0], 0x80 | 0x40 | 4);
}

TEST(GifEncoderFile, DataSubBlocksAreAtMost255Bytes) {
    std::mt19937 random(7);
    std::vector<uint8_t> noise(200 * 100);
    for (auto& v : noise) v = static_cast<uint8_t>(random());
    const Walk walk = WalkBlocks(EncodeGif(OneImage(200, 100, 256, noise)));
    ASSERT_EQ(walk.longestSubBlock.size(), 1u);
    EXPECT_EQ(walk.longestSubBlock[0], 255u);
    EXPECT_TRUE(walk.trailer);
}

// ---- Pictures decoded by the viewer's decoder ----

enum class Pattern { kNoise, kFlat, kStripes, kGradient };

std::vector<uint8_t> MakeIndices(Pattern pattern, int width, int height, int colours, uint32_t seed) {
    std::mt19937 random(seed);
    std::vector<uint8_t> indices(static_cast<size_t>(width) * height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v = 0;
            switch (pattern) {
                case Pattern::kNoise: v = static_cast<int>(random() % colours); break;
                case Pattern::kFlat: v = colours - 1; break;
                case Pattern::kStripes: v = (x / 3 + y) % colours; break;
                case Pattern::kGradient: v = (x + 2 * y) * colours / (width + 2 * height); break;
            }
            indices[static_cast<size_t>(y) * width + x] = static_cast<uint8_t>(v);
        }
    }
    return indices;
}

struct RoundTrip {
    const char* what;
    int width;
    int height;
    int colours;
    Pattern pattern;
    bool interlaced;
};

// Noise over 256 colours fills the 4096-entry table many times over, so the
// 12-bit codes and the clear codes at a full table are on this path; flat
// runs make codes that refer to the string being defined.
const RoundTrip kRoundTrips[] = {
    {"noise 256 colours, several full tables", 320, 240, 256, Pattern::kNoise, false},
    {"noise 256 colours interlaced", 97, 61, 256, Pattern::kNoise, true},
    {"noise 2 colours", 131, 77, 2, Pattern::kNoise, false},
    {"noise 3 colours padded to 4", 64, 64, 3, Pattern::kNoise, false},
    {"noise 17 colours padded to 32", 100, 90, 17, Pattern::kNoise, false},
    {"one flat colour, long strings", 500, 400, 200, Pattern::kFlat, false},
    {"stripes 7 colours", 250, 50, 7, Pattern::kStripes, false},
    {"gradient 256 colours", 640, 120, 256, Pattern::kGradient, false},
    {"one row", 1000, 1, 256, Pattern::kNoise, false},
    {"one column interlaced", 1, 37, 16, Pattern::kNoise, true},
};

TEST(GifEncoderRoundTrip, DecoderGetsBackEveryPicture) {
    uint32_t seed = 1;
    for (const RoundTrip& c : kRoundTrips) {
        SCOPED_TRACE(c.what);
        EncodedGif gif = OneImage(c.width, c.height, c.colours,
                                  MakeIndices(c.pattern, c.width, c.height, c.colours, seed++));
        gif.images[0].interlaced = c.interlaced;
        const std::vector<DecodedFrame> frames = Decode(EncodeGif(gif));
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_EQ(frames[0].width, c.width);
        EXPECT_EQ(frames[0].height, c.height);
        EXPECT_TRUE(frames[0].rgba == Expected(gif.images[0], gif.globalPalette));
    }
}

TEST(GifEncoderRoundTrip, InterlacedRowsLandOnTheirImageRows) {
    // Every row a different colour, for each height where the four passes
    // start to differ.
    for (int height = 1; height <= 17; ++height) {
        SCOPED_TRACE(height);
        std::vector<uint8_t> rows;
        for (int y = 0; y < height; ++y) rows.insert(rows.end(), 3, static_cast<uint8_t>(y));
        EncodedGif gif = OneImage(3, height, 32, rows);
        gif.images[0].interlaced = true;
        const std::vector<DecodedFrame> frames = Decode(EncodeGif(gif));
        ASSERT_EQ(frames.size(), 1u);
        EXPECT_TRUE(frames[0].rgba == Expected(gif.images[0], gif.globalPalette));
    }
}

TEST(GifEncoderRoundTrip, AnimationKeepsPositionsDelaysAndTransparency) {
    EncodedGif gif = OneImage(6, 4, 4, std::vector<uint8_t>(24, 1));
    gif.images[0].delay = 7;
    EncodedImage patch;
    patch.left = 2;
    patch.top = 1;
    patch.width = 3;
    patch.height = 2;
    patch.indices = {2, 0, 2, 0, 2, 0};
    patch.localPalette = GreyPalette(3);
    patch.transparentIndex = 0;
    patch.delay = 0;
    gif.images.push_back(patch);

    const std::vector<DecodedFrame> frames = Decode(EncodeGif(gif));
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].delay, 7);
    EXPECT_EQ(frames[1].delay, 6);  // a delay of 0 is shown as 6
    std::vector<uint8_t> expected = frames[0].rgba;
    // Index 2 of the local table is drawn; index 0 is transparent and keeps
    // the first image's pixel.
    for (int y = 1; y <= 2; ++y) {
        for (int x = 2; x <= 4; ++x) {
            if (patch.indices[(y - 1) * 3 + (x - 2)] != 2) continue;
            const size_t at = (static_cast<size_t>(y) * 6 + x) * 4;
            expected[at] = patch.localPalette[6];
            expected[at + 1] = patch.localPalette[7];
            expected[at + 2] = patch.localPalette[8];
        }
    }
    EXPECT_TRUE(frames[1].rgba == expected);
}

TEST(GifEncoderRoundTrip, ImageWithoutAnyTableIsWrittenAndRejected) {
    // Tests need files the decoder must refuse; the encoder still writes them.
    EncodedGif gif = OneImage(2, 2, 2, {0, 200, 3, 1});
    gif.globalPalette.clear();
    const std::vector<uint8_t> bytes = EncodeGif(gif);
    EXPECT_EQ(bytes[bytes.size() - 1], 0x3B);
    EXPECT_TRUE(Decode(bytes).empty());
}

// ---- Arguments the format cannot hold ----

TEST(GifEncoderArguments, RejectsWhatTheFormatCannotHold) {
    auto encodeWith = [](auto change) {
        EncodedGif gif = OneImage(2, 2, 4, {0, 1, 2, 3});
        change(gif);
        EncodeGif(gif);
    };
    EXPECT_THROW(encodeWith([](EncodedGif& g) { g.images[0].indices.pop_back(); }), std::invalid_argument);
    EXPECT_THROW(encodeWith([](EncodedGif& g) { g.globalPalette = GreyPalette(257); }), std::invalid_argument);
    EXPECT_THROW(encodeWith([](EncodedGif& g) { g.globalPalette.push_back(0); }), std::invalid_argument);
    EXPECT_THROW(encodeWith([](EncodedGif& g) { g.images[0].indices[0] = 4; }), std::invalid_argument);
    EXPECT_THROW(encodeWith([](EncodedGif& g) { g.screenWidth = 65536; }), std::invalid_argument);
    EXPECT_THROW(encodeWith([](EncodedGif& g) { g.images[0].delay = 70000; }), std::invalid_argument);
    EXPECT_THROW(encodeWith([](EncodedGif& g) { g.images[0].disposal = 8; }), std::invalid_argument);
    EXPECT_NO_THROW(encodeWith([](EncodedGif& g) { g.globalPalette = GreyPalette(256); }));
}

TEST(GifEncoderArguments, WriteBytesWritesExactlyOrFails) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("gif_encoder_test_" + std::to_string(::getpid()));
    const std::vector<uint8_t> bytes = {0, 1, 2, 255, 10, 13};
    ASSERT_TRUE(WriteBytes(path.string(), bytes));
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> back{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    EXPECT_EQ(back, bytes);
    std::filesystem::remove(path);
    EXPECT_FALSE(WriteBytes((path / "no" / "such" / "folder").string(), bytes));
}

}  // namespace
