// End to end: a folder of generated GIFs opened through the menu, the main
// loop run as the program runs it, and the frames read back from the
// screen: images in their columns, animating, and pushed down by timed adds.
#include <array>

#include "flow_support.h"
#include "gl_readback.h"

namespace flow {
namespace {

// WriteSolidGif's palette; frame t of a file with seed s is colour (s + t) % 8.
const std::array<std::array<uint8_t, 3>, 8> kPalette = {{{255, 0, 0},
                                                         {0, 255, 0},
                                                         {0, 0, 255},
                                                         {255, 255, 0},
                                                         {255, 0, 255},
                                                         {0, 255, 255},
                                                         {255, 255, 255},
                                                         {0, 0, 0}}};
const std::array<uint8_t, 3> kGrey = {191, 191, 191};

using Rgb = std::array<uint8_t, 3>;

class FramesTest : public FlowTest {
protected:
    // f0 .. f5, 250 x 250, two frames of 4 hundredths each; file i shows
    // colours 2i and 2i + 1 (mod 8), so neighbours in a column differ.
    void OpenSixFiles() {
        std::filesystem::path dir = FreshFolder("frames");
        for (int i = 0; i < 6; ++i) {
            const char name[] = {'f', static_cast<char>('0' + i), '.', 'g', 'i', 'f', '\0'};
            WriteSolidGif(dir / name, 250, 250, 2, 4, 2 * i);
        }
        OpenPlaying(dir.string());
        // Nine images of 250: three per column, f0 f3 f0 / f1 f4 f1 / f2 f5 f2.
        ASSERT_EQ(ColumnHeights(wall_),
                  (std::vector<std::vector<int32_t>>(3, std::vector<int32_t>{250, 250, 250})));
    }

    void Capture() { pixels_ = ReadLastFrame(760, 600); }

    Rgb At(int x, int y) const {
        const size_t i = (static_cast<size_t>(y) * 760 + static_cast<size_t>(x)) * 4;
        return {pixels_[i], pixels_[i + 1], pixels_[i + 2]};
    }

    // The middle of the band [top, top + 250) of column c, clipped to the
    // window.
    Rgb InColumn(int column, int top) const {
        const int bottom = std::min(top + 250, 600);
        return At(5 + 250 * column + 125, (top + bottom) / 2);
    }

    static Rgb Colour(int file, int frame) {
        return kPalette[static_cast<size_t>((2 * file + frame) % 8)];
    }

    static bool ShowsFile(const Rgb& pixel, int file) {
        return pixel == Colour(file, 0) || pixel == Colour(file, 1);
    }

    std::vector<uint8_t> pixels_;
};

TEST_F(FramesTest, ImagesSitInTheirColumnsAndAnimate) {
    OpenSixFiles();
    // Draw 1 shows every image's frame 0; each frame lasts two draws of
    // 2 hundredths, so draw 3 shows frame 1.
    ASSERT_TRUE(MainLoopPass(wall_));
    Capture();
    const int files[3][3] = {{0, 3, 0}, {1, 4, 1}, {2, 5, 2}};  // newest first
    for (int c = 0; c < 3; ++c) {
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(InColumn(c, 250 * row), Colour(files[c][row], 0))
                << "column " << c << " row " << row;
        }
    }
    // The columns are centred: 5 pixels of grey on either side.
    EXPECT_EQ(At(2, 300), kGrey);
    EXPECT_EQ(At(757, 300), kGrey);
    EXPECT_EQ(At(5, 300), Colour(3, 0));
    EXPECT_EQ(At(754, 300), Colour(5, 0));

    ASSERT_TRUE(MainLoopPass(wall_));
    ASSERT_TRUE(MainLoopPass(wall_));
    Capture();
    for (int c = 0; c < 3; ++c) {
        for (int row = 0; row < 3; ++row) {
            EXPECT_EQ(InColumn(c, 250 * row), Colour(files[c][row], 1))
                << "column " << c << " row " << row;
        }
    }
}

TEST_F(FramesTest, TimedAddsPushTheColumnsDown) {
    OpenSixFiles();
    // The fill tried f0..f5, f0, f1, f2: the adds go on with f3.
    ASSERT_EQ(wall_->fileList.nextIndex, 3);
    TriggerMenuCommandForTest(301);  // 1秒
    // Add 1 loads f3; add 2 puts it on column 0 and loads f4; add 3 puts
    // f4 on column 1.
    const auto start = std::chrono::steady_clock::now();
    while (LastAddColumnOf(wall_) != 1) {
        ASSERT_LT(MillisecondsSince(start), 15000.0) << "the timed adds did not come";
        ASSERT_TRUE(MainLoopPass(wall_));
    }
    TriggerMenuCommandForTest(300);
    ASSERT_TRUE(MainLoopPass(wall_));
    Capture();

    EXPECT_TRUE(ShowsFile(InColumn(0, 0), 3));
    EXPECT_TRUE(ShowsFile(InColumn(0, 250), 0));
    EXPECT_TRUE(ShowsFile(InColumn(0, 500), 3));
    EXPECT_TRUE(ShowsFile(InColumn(1, 0), 4));
    EXPECT_TRUE(ShowsFile(InColumn(1, 250), 1));
    EXPECT_TRUE(ShowsFile(InColumn(1, 500), 4));
    EXPECT_TRUE(ShowsFile(InColumn(2, 0), 2));
    EXPECT_TRUE(ShowsFile(InColumn(2, 250), 5));
    EXPECT_TRUE(ShowsFile(InColumn(2, 500), 2));
    // The oldest image of columns 0 and 1 left the wall; its slot went to
    // the newcomer.
    EXPECT_EQ(ColumnHeights(wall_),
              (std::vector<std::vector<int32_t>>(3, std::vector<int32_t>{250, 250, 250})));
    EXPECT_EQ(wall_->images.size(), 9u);
    WaitIdle(wall_);
}

TEST_F(FramesTest, ClosingPaintsTheWindowGrey) {
    OpenSixFiles();
    ASSERT_TRUE(MainLoopPass(wall_));
    TriggerMenuCommandForTest(IdClose);
    Capture();
    for (int y : {10, 300, 590}) {
        for (int x : {2, 130, 380, 630, 757}) EXPECT_EQ(At(x, y), kGrey) << x << "," << y;
    }
}

}  // namespace
}  // namespace flow
