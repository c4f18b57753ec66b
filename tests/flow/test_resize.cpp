// Resizing the window while a wall plays: a new column count re-places the
// images, oldest row first; the same count leaves the wall alone.
#include "flow_support.h"

namespace flow {
namespace {

class ResizeTest : public FlowTest {
protected:
    // Three columns filled in name order from a (300), b (400), c (500) and
    // d (600): a c0, b c1, c c2, d c0, a c1, b c2.
    void OpenFourHeights() {
        OpenPlaying(MakeFolder("four-heights", {
                                                   {"a.gif", 250, 300},
                                                   {"b.gif", 250, 400},
                                                   {"c.gif", 250, 500},
                                                   {"d.gif", 250, 600},
                                               }));
        ASSERT_EQ(ColumnHeights(wall_),
                  (std::vector<std::vector<int32_t>>{{300, 600}, {400, 300}, {500, 400}}));
    }
};

TEST_F(ResizeTest, FewerColumnsReplaceTheImagesOldestRowFirst) {
    OpenFourHeights();
    const std::vector<ColumnView> old = ViewColumns(wall_);
    const size_t slots = wall_->images.size();

    SetClientSize(510, 600);
    ASSERT_EQ(wall_->columnCount, 2);
    // Row by row from the old columns: a, b, c, then d, a, b; each into the
    // shortest new column.
    const std::vector<ColumnView> now = ViewColumns(wall_);
    ASSERT_EQ(now.size(), 2u);
    EXPECT_EQ(now[0].slots, (std::vector<int32_t>{old[0].slots[0], old[2].slots[0], old[1].slots[1]}));
    EXPECT_EQ(now[1].slots, (std::vector<int32_t>{old[1].slots[0], old[0].slots[1], old[2].slots[1]}));
    EXPECT_EQ(now[0].heights, (std::vector<int32_t>{300, 500, 300}));
    EXPECT_EQ(now[0].tops, (std::vector<int32_t>{800, 300, 0}));
    EXPECT_EQ(now[1].heights, (std::vector<int32_t>{400, 600, 400}));
    EXPECT_EQ(now[1].tops, (std::vector<int32_t>{1000, 400, 0}));
    // Nothing was dropped, and the images keep the width they were made for.
    EXPECT_EQ(wall_->images.size(), slots);
    for (const WallImage& image : wall_->images) EXPECT_EQ(image.width, 250);
    EXPECT_TRUE(wall_->playing);

    // One column for a window narrower than a column; back to three.
    SetClientSize(200, 600);
    ASSERT_EQ(wall_->columnCount, 1);
    EXPECT_EQ(ColumnHeights(wall_)[0].size(), 6u);
    SetClientSize(760, 600);
    EXPECT_EQ(wall_->columnCount, 3);
}

TEST_F(ResizeTest, ASizeThatKeepsTheCountLeavesTheWallAlone) {
    OpenFourHeights();
    const std::vector<ColumnView> old = ViewColumns(wall_);
    SetClientSize(780, 600);
    EXPECT_EQ(ViewColumns(wall_), old);
    SetClientSize(760, 450);
    EXPECT_EQ(wall_->clientHeight, 450);
    EXPECT_EQ(ViewColumns(wall_), old);
    SetClientSize(760, 600);
    EXPECT_EQ(ViewColumns(wall_), old);
}

TEST_F(ResizeTest, TimedAddsAfterARelayoutGoOnFromTheNextColumnModuloTheNewCount) {
    OpenFourHeights();
    // The first add only loads; the next three fill columns 0, 1 and 2.
    ASSERT_TRUE(RunOneAdd(wall_));
    ASSERT_TRUE(RunOneAdd(wall_));
    ASSERT_TRUE(RunOneAdd(wall_));
    ASSERT_TRUE(RunOneAdd(wall_));
    ASSERT_EQ(LastAddColumnOf(wall_), 2);
    SetClientSize(510, 600);
    ASSERT_EQ(wall_->columnCount, 2);
    const std::vector<ColumnView> before = ViewColumns(wall_);
    ASSERT_TRUE(RunOneAdd(wall_));
    // (2 + 1) mod 2: column 1 gets the next image at its top.
    EXPECT_EQ(LastAddColumnOf(wall_), 1);
    const std::vector<ColumnView> after = ViewColumns(wall_);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1].tops.back(), 0);
    EXPECT_NE(after[1].slots.back(), before[1].slots.back());
}

TEST_F(ResizeTest, ResizingWithoutAWallKeepsTheColumnCount) {
    OpenFourHeights();
    TriggerMenuCommandForTest(IdClose);
    ASSERT_EQ(wall_->columnCount, 3);
    SetClientSize(510, 600);
    EXPECT_EQ(wall_->columnCount, 3);
    EXPECT_TRUE(wall_->images.empty());
}

}  // namespace
}  // namespace flow
