// The wall's column layout on the running viewer, with real GL objects in
// its slots: the column count rule, where placements go, push-down and the
// drop at the bottom edge, slot reuse, relayout and clearing.
#include <gtest/gtest.h>

#include <vector>

#include "viewer_gl_util.h"
#include "wall/loader.h"

namespace {

class WallLayoutTest : public ::testing::Test {
protected:
    void SetUp() override {
        wall = Viewer();
        ASSERT_NE(wall, nullptr);
        ClearWall(wall);
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        savedWidth = wall->clientWidth;
        savedHeight = wall->clientHeight;
        wall->clientWidth = 760;
        wall->clientHeight = 600;
        wall->columnWidth = 250;
        wall->columnCount = 3;
        wall->lastAddColumn = -1;
    }

    void TearDown() override {
        ClearWall(wall);
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        wall->clientWidth = savedWidth;
        wall->clientHeight = savedHeight;
        wall->columnWidth = 250;
        wall->columnCount = 0;
        wall->playing = false;
    }

    // Stages an image of the given display height with its own buffer and
    // texture, places it as the loader (round robin) or the fill (shortest)
    // would, and resets the stage. Returns the placement's result.
    int32_t Place(int32_t height, bool shortest) {
        wall->pendingImage = MakeSolidImage({0xFF0000FF}, {10}, 1, 1);
        wall->pendingHeight = height;
        int32_t result = PlaceStaged(wall, shortest);
        ResetStage(wall);
        return result;
    }

    // The slot index last placed into column (its list's last entry).
    int32_t Newest(int32_t column) const { return wall->columns[column].back(); }

    int32_t ColumnOf(int32_t slot) const {
        for (int32_t c = 0; c < wall->columnCount; ++c) {
            for (int32_t index : wall->columns[c]) {
                if (index == slot) return c;
            }
        }
        return -1;
    }

    std::vector<int32_t> Tops(int32_t column) const {
        std::vector<int32_t> tops;
        for (int32_t index : wall->columns[column]) tops.push_back(wall->images[index].top);
        return tops;
    }

    GifWall* wall = nullptr;
    int32_t savedWidth = 0;
    int32_t savedHeight = 0;
};

TEST_F(WallLayoutTest, ColumnCountFollowsWidthWithinOneAndSixtyFour) {
    struct Row {
        int32_t clientWidth;
        int32_t columnWidth;
        int32_t expected;
    };
    const Row rows[] = {
        {760, 250, 3},  {760, 100, 7},   {200, 250, 1},    {7000, 100, 64}, {0, 250, 1},
        {249, 250, 1},  {500, 250, 2},   {6400, 100, 64},  {6399, 100, 63}, {40000, 400, 64},
    };
    for (const Row& row : rows) {
        wall->columnWidth = row.columnWidth;
        EXPECT_EQ(ColumnCountFor(wall, row.clientWidth), row.expected)
            << row.clientWidth << " / " << row.columnWidth;
    }
}

TEST_F(WallLayoutTest, ShortestModeTakesTheFirstLowestColumnAndPushesItDown) {
    // Empty wall: 0, then 1, then 2; then all equal, so column 0 again.
    const struct {
        int32_t height;
        int32_t column;
    } steps[] = {{100, 0}, {100, 1}, {100, 2}, {50, 0}, {80, 1}, {10, 2}, {5, 2}};
    for (const auto& step : steps) {
        int32_t result = Place(step.height, true);
        EXPECT_EQ(result, static_cast<int32_t>(wall->images.size()));
        int32_t slot = static_cast<int32_t>(wall->images.size()) - 1;
        EXPECT_EQ(ColumnOf(slot), step.column) << "height " << step.height;
    }
    // Column 0 holds 100 then 50: the new image on top, the old one below it.
    EXPECT_EQ(Tops(0), (std::vector<int32_t>{50, 0}));
    EXPECT_EQ(Tops(1), (std::vector<int32_t>{80, 0}));
    EXPECT_EQ(Tops(2), (std::vector<int32_t>{15, 5, 0}));
    EXPECT_EQ(ColumnHeight(wall, 2), 115);
    for (const WallImage& image : wall->images) {
        EXPECT_EQ(image.width, 250);
        EXPECT_EQ(image.x, 0);
    }
    EXPECT_EQ(wall->lastAddColumn, -1) << "shortest mode leaves the round-robin cursor alone";
}

TEST_F(WallLayoutTest, ShortestModeIsFullOnlyWhenEveryColumnReachesTheBottom) {
    EXPECT_GT(Place(700, true), 0) << "one column taller than the window is not enough";
    EXPECT_GT(Place(600, true), 0);
    EXPECT_GT(Place(599, true), 0) << "599 of 600 is not full";
    EXPECT_EQ(ColumnOf(2), 2);
    EXPECT_EQ(Place(1, true), -1);
    EXPECT_EQ(ColumnOf(3), 2);
    // Shortest mode drops nothing, even below the bottom edge.
    EXPECT_EQ(Place(300, true), -1);
    EXPECT_TRUE(wall->freeSlots.empty());
    for (const WallImage& image : wall->images) EXPECT_TRUE(ImageObjectsAlive(image));
}

TEST_F(WallLayoutTest, RoundRobinStartsAtColumnZeroAfterAClearWhateverTheHeights) {
    // As after an initial fill: column 0 tallest, the others short.
    Place(300, true);
    Place(10, true);
    Place(20, true);
    ASSERT_EQ(wall->lastAddColumn, -1);
    const int32_t expected[] = {0, 1, 2, 0, 1};
    for (int32_t column : expected) {
        Place(5, false);
        EXPECT_EQ(wall->lastAddColumn, column);
        EXPECT_EQ(ColumnOf(Newest(column)), column);
        EXPECT_EQ(wall->images[Newest(column)].top, 0);
    }
}

TEST_F(WallLayoutTest, RoundRobinCursorBeyondTheCountWrapsWithTheNewCount) {
    // The count dropped from 5 or more to 3 after the last timed add.
    wall->lastAddColumn = 4;
    Place(40, false);
    EXPECT_EQ(wall->lastAddColumn, 2);
    EXPECT_EQ(wall->columns[2].size(), 1u);
    Place(40, false);
    EXPECT_EQ(wall->lastAddColumn, 0);
}

TEST_F(WallLayoutTest, ImagePushedToTheBottomEdgeIsDroppedAndItsObjectsDeleted) {
    wall->columnCount = 1;
    Place(1, false);                 // slot 0: 1 px
    Place(599, false);               // slot 1 pushes slot 0 to 599: it stays
    EXPECT_EQ(Tops(0), (std::vector<int32_t>{599, 0}));
    EXPECT_TRUE(wall->freeSlots.empty());
    EXPECT_TRUE(ImageObjectsAlive(wall->images[0]));

    const WallImage first = wall->images[0];
    Place(1, false);  // slot 0 at 600 now: dropped; slot 1 at 1, partly below the edge, stays
    EXPECT_TRUE(ImageObjectsGone(first));
    EXPECT_TRUE(ImageObjectsAlive(wall->images[1]));
    // The new image took the freed slot at once.
    EXPECT_TRUE(wall->freeSlots.empty());
    EXPECT_EQ(wall->images.size(), 2u);
    EXPECT_EQ(wall->columns[0], (std::vector<int32_t>{1, 0}));
    EXPECT_TRUE(ImageObjectsAlive(wall->images[0]));
    EXPECT_EQ(Tops(0), (std::vector<int32_t>{1, 0}));
}

TEST_F(WallLayoutTest, OnlyTheTargetColumnIsTrimmed) {
    // Shortest mode leaves an image of column 0 below the edge...
    wall->columnCount = 2;
    Place(10, true);   // slot 0, column 0
    Place(400, true);  // slot 1, column 1
    Place(500, true);  // slot 2, column 0 (10 < 400)
    Place(300, true);  // slot 3, column 1 (400 < 510)
    Place(200, true);  // slot 4, column 0 (510 < 700)
    ASSERT_EQ(wall->columns[0], (std::vector<int32_t>{0, 2, 4}));
    ASSERT_EQ(Tops(0), (std::vector<int32_t>{700, 200, 0}));
    // ...and a timed add into column 1 drops only column 1's image at 600.
    wall->lastAddColumn = 0;
    Place(300, false);
    EXPECT_EQ(wall->lastAddColumn, 1);
    EXPECT_EQ(wall->columns[1], (std::vector<int32_t>{3, 1}));
    EXPECT_EQ(Tops(1), (std::vector<int32_t>{300, 0}));
    EXPECT_TRUE(wall->freeSlots.empty());
    EXPECT_EQ(wall->columns[0], (std::vector<int32_t>{0, 2, 4}));
    EXPECT_EQ(Tops(0), (std::vector<int32_t>{700, 200, 0}));
    EXPECT_TRUE(ImageObjectsAlive(wall->images[0]));
}

TEST_F(WallLayoutTest, SlotsAreReusedLastFreedFirst) {
    wall->columnCount = 1;
    Place(100, false);  // slot 0
    Place(100, false);  // slot 1
    const WallImage older = wall->images[0];
    const WallImage younger = wall->images[1];
    // Pushes both to 700 and 600: both dropped, slot 0 first, then slot 1.
    EXPECT_EQ(Place(600, false), 2) << "the slot vector does not grow";
    EXPECT_TRUE(ImageObjectsGone(older));
    EXPECT_TRUE(ImageObjectsGone(younger));
    EXPECT_EQ(wall->columns[0], std::vector<int32_t>{1}) << "the younger one's slot first";
    EXPECT_EQ(wall->freeSlots, std::vector<int32_t>{0});
    EXPECT_FALSE(wall->images[0].active);
    EXPECT_EQ(wall->images[0].frames.size(), 1u) << "release leaves the frame list";
    EXPECT_EQ(Place(10, false), 2);
    EXPECT_EQ(wall->columns[0], (std::vector<int32_t>{1, 0}));
    EXPECT_TRUE(wall->freeSlots.empty());
    EXPECT_EQ(Place(10, false), 3) << "only now the vector grows";
}

TEST_F(WallLayoutTest, RelayoutReplacesRowByRowIntoTheShortestColumn) {
    // Round robin builds A1 A2 | B1 | C1 C2, oldest first.
    Place(100, false);  // A1, slot 0, column 0
    Place(50, false);   // B1, slot 1, column 1
    Place(120, false);  // C1, slot 2, column 2
    Place(30, false);   // A2, slot 3, column 0
    wall->lastAddColumn = 1;
    Place(60, false);   // C2, slot 4, column 2
    ASSERT_EQ(wall->columns[0], (std::vector<int32_t>{0, 3}));
    ASSERT_EQ(wall->columns[2], (std::vector<int32_t>{2, 4}));

    wall->playing = true;
    wall->clientWidth = 500;  // 3 -> 2 columns
    EXPECT_EQ(Relayout(), 1);
    EXPECT_EQ(wall->columnCount, 2);
    // A1 -> 0 (0 = 0), B1 -> 1, C1 -> 1 (50 < 100), A2 -> 0 (100 < 170),
    // C2 -> 0 (130 < 170). Taking the columns one by one would differ.
    EXPECT_EQ(wall->columns[0], (std::vector<int32_t>{0, 3, 4}));
    EXPECT_EQ(wall->columns[1], (std::vector<int32_t>{1, 2}));
    EXPECT_EQ(Tops(0), (std::vector<int32_t>{90, 60, 0}));
    EXPECT_EQ(Tops(1), (std::vector<int32_t>{120, 0}));
    for (const WallImage& image : wall->images) EXPECT_EQ(image.width, 250);
    EXPECT_EQ(wall->lastAddColumn, 2) << "relayout leaves the cursor";
    // The next timed add goes to (2 + 1) mod 2.
    Place(5, false);
    EXPECT_EQ(wall->lastAddColumn, 1);
    EXPECT_EQ(wall->columns[1].back(), 5);
}

TEST_F(WallLayoutTest, RelayoutKeepsFreeSlotsAndResetsTheirTop) {
    wall->columnCount = 1;
    Place(300, false);
    Place(300, false);
    Place(300, false);  // slot 0 pushed to 600 and dropped, then reused
    Place(300, false);  // slot 1 dropped, reused
    Place(700, false);  // pushes both off: slot 1 reused at once, slot 0 stays free
    ASSERT_FALSE(wall->freeSlots.empty());
    const std::vector<int32_t> freeBefore = wall->freeSlots;
    wall->playing = true;
    wall->clientWidth = 760;  // 1 -> 3 columns
    EXPECT_EQ(Relayout(), 1);
    EXPECT_EQ(wall->freeSlots, freeBefore);
    for (int32_t slot : freeBefore) EXPECT_EQ(wall->images[slot].top, 0);
    for (int32_t c = 0; c < 3; ++c) {
        for (int32_t index : wall->columns[c]) EXPECT_TRUE(wall->images[index].active);
    }
}

TEST_F(WallLayoutTest, RelayoutDoesNothingWithoutANewCountOrWithoutAWall) {
    Place(100, true);
    Place(200, true);
    Place(300, true);
    Place(50, true);
    const auto columnsBefore = wall->columns;
    std::vector<int32_t> topsBefore;
    for (const WallImage& image : wall->images) topsBefore.push_back(image.top);

    struct Row {
        bool playing;
        int32_t clientWidth;
    };
    const Row rows[] = {{true, 760}, {true, 999}, {true, 750}, {false, 250}, {false, 5000}};
    for (const Row& row : rows) {
        wall->playing = row.playing;
        wall->clientWidth = row.clientWidth;
        EXPECT_EQ(Relayout(), 0) << row.playing << " " << row.clientWidth;
        EXPECT_EQ(wall->columnCount, 3);
        EXPECT_EQ(wall->columns, columnsBefore);
        for (size_t i = 0; i < wall->images.size(); ++i) EXPECT_EQ(wall->images[i].top, topsBefore[i]);
    }
}

TEST_F(WallLayoutTest, ClearWallEmptiesTheWallAndDeletesEveryObject) {
    wall->columnCount = 2;
    Place(100, false);
    Place(100, false);
    Place(100, false);
    Place(100, false);
    Place(600, false);  // column 0's two images dropped, one slot reused
    ASSERT_EQ(wall->freeSlots.size(), 1u);
    // A staged image that is ready when the clear starts goes on the wall
    // first and is released with the rest.
    WallImage staged = MakeSolidImage({0x00FF00FF}, {10}, 1, 1);
    wall->pendingImage = staged;
    wall->pendingHeight = 10;
    wall->pendingStatus = 0;

    std::vector<WallImage> before = wall->images;
    before.push_back(staged);
    wall->playing = true;
    EXPECT_EQ(ClearWall(wall), 1);

    EXPECT_TRUE(wall->images.empty());
    EXPECT_TRUE(wall->freeSlots.empty());
    EXPECT_TRUE(wall->columns[0].empty());
    EXPECT_TRUE(wall->columns[1].empty());
    EXPECT_EQ(wall->columnCount, 2);
    EXPECT_EQ(wall->lastAddColumn, -1);
    EXPECT_FALSE(wall->playing);
    EXPECT_EQ(wall->pendingStatus, -1);
    for (const WallImage& image : before) EXPECT_TRUE(ImageObjectsGone(image));
}

}  // namespace
