// The demo folder: every file decodes with the viewer's own decoder to the
// size, frame count and delay it was drawn with, animates, and really uses
// the feature it is there to show (interlace, restore to background,
// transparency over changing frames, local tables, downscaling).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <set>
#include <string>
#include <vector>

#include "art_test_util.h"
#include "gif/gif_decoder.h"

namespace {

struct Decoded {
    GifFileInfo info;
    std::vector<std::vector<uint8_t>> frames;
    std::vector<int> delays;
    bool failed = false;

    uint8_t AlphaAt(size_t frame, int x, int y) const {
        return frames[frame][(static_cast<size_t>(y) * info.canvasWidth + x) * 4 + 3];
    }
};

class Collect : public GifFrameSink {
public:
    explicit Collect(Decoded* out) : out_(out) {}
    void Opened(const GifFileInfo& info) override { out_->info = info; }
    void Frame(const GifFrame& f) override {
        out_->frames.emplace_back(f.rgba, f.rgba + static_cast<size_t>(f.width) * f.height * 4);
        out_->delays.push_back(f.delay);
    }

private:
    Decoded* out_;
};

Decoded Decode(const std::filesystem::path& path, int scaleWidth = INT_MAX) {
    gScaleWidth = scaleWidth;
    Decoded d;
    Collect sink(&d);
    try {
        DecodeGifFile(path.c_str(), &sink);
    } catch (const GifDecodeFailure&) {
        d.failed = true;
    }
    return d;
}

// What the file itself says, block by block, for the flags the decoder's
// output cannot show (interlace, local tables, the stored rectangles).
struct StoredImage {
    int left, top, width, height;
    bool interlaced, localTable;
    int disposal;
    bool transparent;
};
struct Stored {
    bool globalTable = false;
    std::vector<StoredImage> images;
};

Stored Walk(const std::vector<uint8_t>& b) {
    using arttest::Le16;
    Stored s;
    size_t at = 13;
    s.globalTable = b.at(10) & 0x80;
    if (s.globalTable) at += 3u * (2u << (b[10] & 7));
    int disposal = 0;
    bool transparent = false;
    auto skipSubBlocks = [&] {
        while (b.at(at) != 0) at += b[at] + 1u;
        ++at;
    };
    for (;;) {
        const uint8_t introducer = b.at(at++);
        if (introducer == 0x3B) break;
        if (introducer == 0x21) {
            const uint8_t label = b.at(at++);
            if (label == 0xF9) {
                disposal = (b.at(at + 1) >> 2) & 7;
                transparent = b.at(at + 1) & 1;
            }
            skipSubBlocks();
        } else if (introducer == 0x2C) {
            StoredImage image{static_cast<int>(Le16(b, at)),
                              static_cast<int>(Le16(b, at + 2)),
                              static_cast<int>(Le16(b, at + 4)),
                              static_cast<int>(Le16(b, at + 6)),
                              (b.at(at + 8) & 0x40) != 0,
                              (b.at(at + 8) & 0x80) != 0,
                              disposal,
                              transparent};
            at += 9;
            if (image.localTable) at += 3u * (2u << (b[at - 1] & 7));
            ++at;  // minimum code size
            skipSubBlocks();
            s.images.push_back(image);
        } else {
            ADD_FAILURE() << "unexpected block 0x" << std::hex << int(introducer);
            break;
        }
    }
    return s;
}

struct DemoRow {
    const char* name;
    int width, height, frames, delay;
};

const DemoRow kDemos[] = {
    {"01_plasma.gif", 160, 120, 24, 4},           {"02_bouncing_balls.gif", 240, 180, 30, 3},
    {"03_pinwheel.gif", 200, 200, 20, 5},         {"04_wide_hills.gif", 600, 200, 32, 6},
    {"05_interlaced_rings.gif", 180, 180, 12, 8}, {"06_beach_ball.gif", 220, 160, 20, 4},
    {"07_aquarium.gif", 240, 160, 18, 6},         {"08_spiral.gif", 300, 300, 36, 4},
    {"09_blinking_cat.gif", 120, 90, 4, 150},     {"10_starfield.gif", 480, 360, 40, 4},
    {"11_camp_fire.gif", 160, 240, 32, 5},        {"12_quilt.gif", 320, 240, 8, 15},
};

// The folder the build wrote (DEMO_DIR), which is what gets shipped.
class DemoFolder : public ::testing::Test {
protected:
    static std::vector<std::string> Names(const std::filesystem::path& folder) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(folder))
            names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    }

    const std::filesystem::path folder_ = DEMO_DIR;
};

TEST_F(DemoFolder, HoldsExactlyTheListedFiles) {
    std::vector<std::string> expected;
    for (const DemoRow& row : kDemos) expected.push_back(row.name);
    EXPECT_EQ(Names(folder_), expected);
}

TEST_F(DemoFolder, TwoRunsWriteTheSameBytes) {
    const std::filesystem::path second = arttest::FreshFolder("demo_again");
    ASSERT_TRUE(arttest::RunTool(MAKE_DEMO_GIFS, second));
    ASSERT_EQ(Names(folder_), Names(second));
    for (const std::string& name : Names(folder_)) {
        EXPECT_TRUE(arttest::ReadAll(folder_ / name) == arttest::ReadAll(second / name)) << name;
    }
    std::filesystem::remove_all(second);
}

TEST_F(DemoFolder, DecodeToTheirSizeFramesAndDelay) {
    for (const DemoRow& row : kDemos) {
        SCOPED_TRACE(row.name);
        const Decoded d = Decode(folder_ / row.name);
        ASSERT_FALSE(d.failed);
        EXPECT_EQ(d.info.screenWidth, row.width);
        EXPECT_EQ(d.info.screenHeight, row.height);
        EXPECT_EQ(d.info.canvasWidth, row.width);
        EXPECT_EQ(d.info.canvasHeight, row.height);
        ASSERT_EQ(static_cast<int>(d.frames.size()), row.frames);
        EXPECT_EQ(d.delays.front(), row.delay);
        // It moves: no two neighbouring frames are the same picture.
        for (size_t f = 1; f < d.frames.size(); ++f)
            EXPECT_NE(d.frames[f - 1], d.frames[f]) << "frame " << f;
        // And it is colourful.
        std::set<uint32_t> colours;
        const std::vector<uint8_t>& first = d.frames.front();
        for (size_t i = 0; i < first.size(); i += 4) {
            if (first[i + 3] == 255)
                colours.insert(first[i] << 16 | first[i + 1] << 8 | first[i + 2]);
        }
        EXPECT_GE(colours.size(), 10u);
    }
}

TEST_F(DemoFolder, WideFileIsScaledToTheColumn) {
    const Decoded d = Decode(folder_ / "04_wide_hills.gif", 250);
    ASSERT_FALSE(d.failed);
    EXPECT_EQ(d.info.canvasWidth, 250);
    EXPECT_EQ(d.info.canvasHeight, 83);
    EXPECT_EQ(d.frames.size(), 32u);
}

TEST_F(DemoFolder, InterlacedFileIsStoredInterlaced) {
    const Stored s = Walk(arttest::ReadAll(folder_ / "05_interlaced_rings.gif"));
    ASSERT_EQ(s.images.size(), 12u);
    for (const StoredImage& image : s.images) EXPECT_TRUE(image.interlaced);
}

TEST_F(DemoFolder, QuiltCarriesOnlyLocalTables) {
    const Stored s = Walk(arttest::ReadAll(folder_ / "12_quilt.gif"));
    EXPECT_FALSE(s.globalTable);
    ASSERT_EQ(s.images.size(), 8u);
    for (const StoredImage& image : s.images) EXPECT_TRUE(image.localTable);
}

// Each frame of the ball is only its square, cleared away before the next:
// the ball never leaves a trail, and the rest of the canvas stays clear.
TEST_F(DemoFolder, BeachBallRestoresToBackground) {
    const Stored s = Walk(arttest::ReadAll(folder_ / "06_beach_ball.gif"));
    ASSERT_EQ(s.images.size(), 20u);
    std::set<std::pair<int, int>> places;
    for (const StoredImage& image : s.images) {
        EXPECT_EQ(image.disposal, 2);
        EXPECT_TRUE(image.transparent);
        EXPECT_LT(image.width * 4, 220);
        places.insert({image.left, image.top});
    }
    EXPECT_GE(places.size(), 15u) << "the ball hardly moves";

    const Decoded d = Decode(folder_ / "06_beach_ball.gif");
    ASSERT_FALSE(d.failed);
    auto opaque = [&](size_t f) {
        size_t n = 0;
        for (size_t i = 3; i < d.frames[f].size(); i += 4) n += d.frames[f][i] == 255;
        return n;
    };
    const size_t ball = opaque(0);
    EXPECT_GT(ball, 500u);
    for (size_t f = 1; f < d.frames.size(); ++f) {
        EXPECT_NEAR(static_cast<double>(opaque(f)), static_cast<double>(ball), ball * 0.05)
            << "frame " << f;
    }
}

// After the first frame only changed pixels are stored, the rest
// transparent, so every composed frame must still be the whole tank: the
// same see-through corners in every frame and nothing else clear.
TEST_F(DemoFolder, AquariumDeltasKeepTheWholeTank) {
    const Stored s = Walk(arttest::ReadAll(folder_ / "07_aquarium.gif"));
    ASSERT_EQ(s.images.size(), 18u);
    int partial = 0;
    for (const StoredImage& image : s.images) {
        EXPECT_TRUE(image.transparent);
        partial += image.width * image.height < 240 * 160;
    }
    EXPECT_GE(partial, 1) << "no frame is stored as a smaller rectangle";

    const Decoded d = Decode(folder_ / "07_aquarium.gif");
    ASSERT_FALSE(d.failed);
    ASSERT_EQ(d.frames.size(), 18u);
    for (auto [x, y] : {std::pair{0, 0}, {239, 0}, {0, 159}, {239, 159}})
        EXPECT_EQ(d.AlphaAt(0, x, y), 0);
    EXPECT_EQ(d.AlphaAt(0, 120, 80), 255);
    for (size_t f = 1; f < d.frames.size(); ++f) {
        int differ = 0;
        for (size_t i = 3; i < d.frames[f].size(); i += 4)
            differ += d.frames[f][i] != d.frames[0][i];
        EXPECT_EQ(differ, 0) << "frame " << f;
    }
}

}  // namespace
