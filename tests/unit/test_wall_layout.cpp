// The column layout without a display: column count, both placement modes,
// push-down and drop, slot reuse, relayout and emptying the wall.
#include <gtest/gtest.h>

#include "fake_host.h"

namespace {

class WallLayout : public ::testing::Test {
protected:
    void SetUp() override {
        fake::Reset();
        fake::SetUpWall(&wall, 760, 600, 3);
    }
    // Loads an image of the given height into the stage, places it and
    // resets the stage.
    int32_t Place(int32_t height, bool shortest = false) {
        fake::gState.heights["x"] = height;
        EXPECT_EQ(fake::LoadGif(&wall, "x"), 0);
        const int32_t result = PlaceStaged(&wall, shortest);
        ResetStage(&wall);
        return result;
    }
    // How many of the image's GL objects are alive.
    static size_t Live(const WallImage& image) {
        size_t n = fake::gState.liveObjects.count(image.buffer);
        for (const FrameTexture& frame : image.frames) n += fake::gState.liveObjects.count(frame.texture);
        return n;
    }
    std::string State() const { return fake::State(&wall); }

    GifWall wall;
};

TEST_F(WallLayout, ColumnCountIsWidthOverColumnWidthWithinOneAndSixtyFour) {
    const int32_t rows[][3] = {{760, 250, 3}, {200, 250, 1}, {7000, 100, 64}, {6399, 100, 63}};
    for (const auto& [width, columnWidth, count] : rows) {
        wall.columnWidth = columnWidth;
        EXPECT_EQ(ColumnCountFor(&wall, width), count) << width << " / " << columnWidth;
    }
}

TEST_F(WallLayout, ShortestModeTakesTheFirstLowestColumnAndSaysWhenTheWallIsFull) {
    for (int32_t height : {100, 100, 100, 50, 80, 10, 5}) EXPECT_GT(Place(height, true), 0);
    EXPECT_EQ(State(), "0@50 3@0 |1@80 4@0 |2@15 5@5 6@0 |");
    EXPECT_EQ(wall.lastAddColumn, -1) << "the round-robin cursor stays";
    EXPECT_EQ(wall.images[3].width, 250);
    // Columns of 150, 180 and 115: the last becomes 600 high, the others not.
    EXPECT_EQ(Place(485, true), 8);
    EXPECT_EQ(Place(450, true), 9);
    EXPECT_EQ(Place(420, true), -1) << "every column reaches the bottom";
}

TEST_F(WallLayout, RoundRobinStartsAtColumnZeroAfterAClearAndWrapsAStaleCursor) {
    for (int32_t height : {300, 10, 20, 5, 5, 5, 5}) Place(height, wall.images.size() < 3);
    EXPECT_EQ(State(), "0@10 3@5 6@0 |1@5 4@0 |2@5 5@0 |");
    wall.lastAddColumn = 4;  // left over from a count of 5
    Place(5);
    EXPECT_EQ(wall.columns[2].back(), 7);
}

TEST_F(WallLayout, ImagesPushedToTheBottomAreReleasedAndTheirSlotsReusedLastFreedFirst) {
    wall.columnCount = 1;
    Place(1);
    Place(599);
    const WallImage first = wall.images[0];
    EXPECT_EQ(Live(first), 2u) << "top 599 stays";
    EXPECT_EQ(Place(1), 2);  // pushes it to 600: dropped, its slot taken at once
    EXPECT_EQ(Live(first), 0u);
    EXPECT_EQ(State(), "1@1 0@0 |");
    const WallImage a = wall.images[0], b = wall.images[1];
    EXPECT_EQ(Place(600), 2);  // drops slot 1, then slot 0
    EXPECT_EQ(Live(a) + Live(b), 0u);
    EXPECT_EQ(State(), "0@0 |");
    // Shortest mode never drops, even far below the bottom.
    EXPECT_EQ(Place(5000, true), -1);
    EXPECT_EQ(fake::LiveObjects(), 4u);
}

TEST_F(WallLayout, RelayoutRefillsRowByRowIntoTheShortestColumnOnlyOnANewCount) {
    for (int32_t height : {100, 50, 120, 30}) Place(height);  // A1 B1 C1 A2
    wall.lastAddColumn = 1;
    Place(60);  // C2
    const std::string before = State();
    const std::pair<bool, int32_t> unchanged[] = {{true, 999}, {false, 500}};  // playing, width
    for (const auto& [playing, width] : unchanged) {
        wall.playing = playing;
        wall.clientWidth = width;
        EXPECT_EQ(Relayout(), 0);
        EXPECT_EQ(State(), before);
    }
    wall.playing = true;
    EXPECT_EQ(Relayout(), 1);
    // A1 -> 0, B1 -> 1, C1 -> 1 (50 < 100), A2 -> 0 (100 < 170), C2 -> 0 (130 < 170)
    EXPECT_EQ(State(), "0@90 3@60 4@0 |1@120 2@0 |");
    EXPECT_EQ(fake::LiveObjects(), 10u) << "a relayout drops nothing";
}

TEST_F(WallLayout, EmptyWallReleasesEveryImageAndRestartsTheRoundRobin) {
    for (int32_t height : {700, 10, 20, 30}) Place(height);
    wall.columnCount = 1;
    Place(600);  // frees slots in column 0
    wall.columnCount = 3;
    ASSERT_EQ(wall.freeSlots.size(), 1u);
    EmptyWall(&wall);
    EXPECT_TRUE(wall.images.empty() && wall.freeSlots.empty());
    for (int c = 0; c < 3; ++c) EXPECT_TRUE(wall.columns[static_cast<size_t>(c)].empty()) << c;
    EXPECT_EQ(wall.lastAddColumn, -1);
    EXPECT_EQ(fake::LiveObjects(), 0u);
}

}  // namespace
