// The built window icons as the viewer's Qt loads them, and the built demo
// GIFs through the viewer's own decoder.
#include <gtest/gtest.h>

#include <QImageReader>
#include <climits>
#include <string>
#include <tuple>
#include <vector>

#include "app/icon_art.h"
#include "gif/gif_decoder.h"

namespace {

TEST(IconFiles, QtReadsThemAsTheArt) {
    const std::pair<const char*, std::vector<int>> files[] = {{"fav.ico", {16, 32}},
                                                              {"favBg.ico", {32, 48}}};
    for (const auto& [name, sizes] : files) {
        QImageReader reader(QString(ICON_DIR "/") + name);
        ASSERT_EQ(reader.imageCount(), int(sizes.size())) << name;
        for (int e = 0; e < int(sizes.size()); ++e) {
            SCOPED_TRACE(::testing::Message() << name << " entry " << e);
            const int size = sizes[e];
            const std::vector<uint8_t> art = DrawReelIcon(size);
            ASSERT_EQ(art.size(), size_t(size * size * 4));
            EXPECT_EQ(art[3], 0);  // a reel: clear in the corner, solid at the hub
            EXPECT_EQ(art[(size / 2 * size + size / 2) * 4 + 3], 255);
            ASSERT_TRUE(reader.jumpToImage(e));
            const QImage image = reader.read();
            ASSERT_EQ(image.size(), QSize(size, size));
            // Compared in the reader's own (premultiplied) form, which the window gets.
            const QImage want(art.data(), size, size, QImage::Format_RGBA8888);
            EXPECT_TRUE(image == want.convertToFormat(image.format()));
        }
    }
}

struct Collect : GifFrameSink {
    GifFileInfo info;
    std::vector<std::vector<uint8_t>> frames;
    int delay = -1;
    void Opened(const GifFileInfo& i) override { info = i; }
    void Frame(const GifFrame& f) override {
        frames.emplace_back(f.rgba, f.rgba + size_t(f.width) * f.height * 4);
        if (delay < 0) delay = f.delay;
    }
};

TEST(DemoFolder, DecodesToTheListedSizesFramesAndDelays) {
    const std::tuple<std::string, int, int, int, int> rows[] = {
        {"01_plasma.gif", 160, 120, 24, 4},           {"02_bouncing_balls.gif", 240, 180, 30, 3},
        {"03_pinwheel.gif", 200, 200, 20, 5},         {"04_wide_hills.gif", 600, 200, 32, 6},
        {"05_interlaced_rings.gif", 180, 180, 12, 8}, {"06_beach_ball.gif", 220, 160, 20, 4},
        {"07_aquarium.gif", 240, 160, 18, 6},         {"08_spiral.gif", 300, 300, 36, 4},
        {"09_blinking_cat.gif", 120, 90, 4, 150},     {"10_starfield.gif", 480, 360, 40, 4},
        {"11_camp_fire.gif", 160, 240, 32, 5},        {"12_quilt.gif", 320, 240, 8, 15},
    };
    gScaleWidth = INT_MAX;
    for (const auto& [name, width, height, frames, delay] : rows) {
        SCOPED_TRACE(name);
        Collect d;
        ASSERT_NO_THROW(DecodeGifFile((DEMO_DIR "/" + name).c_str(), &d));
        EXPECT_EQ(std::pair(d.info.canvasWidth, d.info.canvasHeight), std::pair(width, height));
        ASSERT_EQ(int(d.frames.size()), frames);
        EXPECT_EQ(d.delay, delay);
        for (int f = 1; f < frames; ++f) EXPECT_NE(d.frames[f - 1], d.frames[f]) << "frame " << f;
    }
}

}  // namespace
