// The initial fill after "開く": which files go where, the progress titles,
// and how it ends when files fail or show nothing.
#include "flow_support.h"

namespace flow {
namespace {

using Heights = std::vector<std::vector<int32_t>>;

class InitialFillTest : public FlowTest {};

TEST_F(InitialFillTest, OneColumnOf250HighImagesTakesThreeAndShowsTheirProgress) {
    SetClientSize(200, 600);
    OpenThroughMenu(MakeFolder("one-column", {{"a.gif", 250, 250}}));
    ASSERT_TRUE(wall_->playing);
    EXPECT_EQ(wall_->columnCount, 1);
    EXPECT_EQ(ColumnHeights(wall_), (Heights{{250, 250, 250}}));
    EXPECT_EQ(ViewColumns(wall_)[0].tops, (std::vector<int32_t>{500, 250, 0}));
    EXPECT_EQ(gUser.titles, (std::vector<std::string>{
                                kLoadingTitle,
                                "リールスタック (読込中.. 0.000000%)",
                                "リールスタック (読込中.. 41.666667%)",
                                "リールスタック (読込中.. 83.333333%)",
                                kTitle,
                            }));
    EXPECT_TRUE(gUser.messages.empty());
    EXPECT_EQ(WindowTitleForTest(wall_->hwnd), kTitle);
    EXPECT_EQ(wall_->pendingStatus, -1);
    EXPECT_EQ(wall_->lastAddColumn, -1);
}

TEST_F(InitialFillTest, AColumnTallerThanTheWindowCountsAsFull) {
    // Two columns; a (700 high) fills column 0 past the bottom, b (300)
    // half of column 1: 100 % and 50 % give 75 %.
    SetClientSize(600, 600);
    OpenThroughMenu(MakeFolder("tall-short", {{"a.gif", 250, 700}, {"b.gif", 250, 300}}));
    ASSERT_TRUE(wall_->playing);
    EXPECT_EQ(ProgressTexts(), (std::vector<std::string>{"0.000000", "50.000000", "75.000000"}));
    EXPECT_EQ(ColumnHeights(wall_), (Heights{{700}, {300, 700}}));
}

TEST_F(InitialFillTest, TwoFilesRepeatInNameOrderUntilEveryColumnIsFull) {
    // a is 300 high, b 600: a, b, a, b, a fill three columns.
    OpenThroughMenu(MakeFolder("two-files", {{"a.gif", 250, 300}, {"b.gif", 250, 600}}));
    ASSERT_TRUE(wall_->playing);
    EXPECT_EQ(wall_->columnCount, 3);
    EXPECT_EQ(ColumnHeights(wall_), (Heights{{300, 600}, {600}, {300, 300}}));
    EXPECT_EQ(ProgressTexts().size(), 5u);
    EXPECT_EQ(wall_->images.size(), 5u);
    // The fill moves past the last file it tried (a, index 0).
    EXPECT_EQ(wall_->fileList.nextIndex, 1);
}

TEST_F(InitialFillTest, AFolderWhoseFilesAllFailEndsAfterOnePassWithAMessage) {
    OpenThroughMenu(MakeFolder("all-fail", {
                                               {"a.gif", 0, 0, 0, true},
                                               {"b.gif", 0, 0, 0, true},
                                               {"c.gif", 0, 0, 0, true},
                                           }));
    // Files 1, 2, 3 and 1 again: four attempts, each after its title.
    EXPECT_EQ(ProgressTexts(), std::vector<std::string>(4, "0.000000"));
    ASSERT_EQ(gUser.messages.size(), 1u);
    EXPECT_EQ(gUser.messages[0].text, kNothingShownText);
    EXPECT_EQ(gUser.messages[0].caption, kCaption);
    EXPECT_EQ(gUser.messages[0].kind, MessageBoxKind::Ok);
    EXPECT_FALSE(wall_->playing);
    EXPECT_TRUE(wall_->images.empty());
    EXPECT_EQ(gUser.titles.back(), kTitle);
    EXPECT_FALSE(IsMenuItemEnabledForTest(IdClose));
}

TEST_F(InitialFillTest, AFailedFirstFileDoesNotEndTheFill) {
    SetClientSize(200, 600);
    OpenThroughMenu(MakeFolder("first-fails", {
                                                  {"a.gif", 0, 0, 0, true},
                                                  {"b.gif", 250, 250},
                                                  {"c.gif", 250, 250},
                                              }));
    ASSERT_TRUE(wall_->playing);
    EXPECT_TRUE(gUser.messages.empty());
    EXPECT_EQ(ColumnHeights(wall_), (Heights{{250, 250, 250}}));
    // a, b, c, a again (the check after a pass finds images), then b.
    EXPECT_EQ(ProgressTexts(), (std::vector<std::string>{"0.000000", "0.000000", "41.666667",
                                                         "83.333333", "83.333333"}));
    EXPECT_EQ(wall_->pendingStatus, -1);
}

TEST_F(InitialFillTest, AFolderOfImagesTooFlatToShowEndsInsteadOfFillingForever) {
    // 300 x 1 stays unscaled at a scale width of 400 and is 0.33 pixels
    // high in a 100-pixel column: it loads but adds no height.
    wall_->pendingScaleWidth = 400;
    wall_->pendingColumnWidth = 100;
    OpenThroughMenu(MakeFolder("flat", {{"a.gif", 300, 1}, {"b.gif", 300, 1}}));
    EXPECT_EQ(gScaleWidth, 400);
    EXPECT_EQ(wall_->columnWidth, 100);
    EXPECT_FALSE(wall_->playing);
    ASSERT_EQ(gUser.messages.size(), 1u);
    EXPECT_EQ(gUser.messages[0].text, kNothingShownText);
    // Nothing of the invisible images is left on the wall or in GL.
    EXPECT_TRUE(wall_->images.empty());
    for (int32_t c = 0; c < wall_->columnCount; ++c) {
        EXPECT_TRUE(wall_->columns[static_cast<size_t>(c)].empty());
    }
    EXPECT_EQ(gUser.titles.back(), kTitle);
    // Bounded: a few passes over the two files at most.
    EXPECT_LE(ProgressTexts().size(), 9u);
}

}  // namespace
}  // namespace flow
