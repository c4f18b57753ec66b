// The menu commands through the real menu: check marks and greying, which
// settings wait for the next open and which apply at once, and the help
// commands. Topmost and bare mode have a file of their own.
#include <unistd.h>

#include <algorithm>
#include <atomic>

#include "flow_support.h"

namespace flow {
namespace {

// Every item of the three radio groups and topmost that shows a check mark.
std::vector<int32_t> CheckedItems() {
    std::vector<int32_t> ids = {IdTopmost, IdOrderName, IdOrderRandom};
    for (int32_t id = 200; id <= 206; ++id) ids.push_back(id);
    for (int32_t id = 300; id <= 312; ++id) ids.push_back(id);
    std::vector<int32_t> checked;
    for (int32_t id : ids) {
        if (IsMenuItemCheckedForTest(id)) checked.push_back(id);
    }
    std::sort(checked.begin(), checked.end());
    return checked;
}

class MenuCommandTest : public FlowTest {};

TEST_F(MenuCommandTest, EachCommandLeavesTheMenuInItsState) {
    // The fixture's state: 250px, 停止, file-name order.
    ASSERT_EQ(CheckedItems(), (std::vector<int32_t>{203, 300, 400}));
    struct Row {
        int32_t command;
        std::vector<int32_t> checked;
    };
    // Topmost's mark is tested with the window flags (test_window_style).
    const Row rows[] = {
        {200, {200, 300, 400}}, {206, {206, 300, 400}}, {305, {206, 305, 400}},
        {312, {206, 312, 400}}, {401, {206, 312, 401}}, {401, {206, 312, 401}},
        {203, {203, 312, 401}}, {400, {203, 312, 400}}, {300, {203, 300, 400}},
        {999, {203, 300, 400}},
    };
    for (const Row& row : rows) {
        TriggerMenuCommandForTest(row.command);
        EXPECT_EQ(CheckedItems(), row.checked) << "after " << row.command;
        EXPECT_FALSE(IsMenuItemEnabledForTest(IdClose)) << "after " << row.command;
    }
}

TEST_F(MenuCommandTest, IntervalsApplyAtOnce) {
    struct Row {
        int32_t command;
        int32_t interval;
    };
    const Row rows[] = {
        {301, 1000},  {302, 2000},  {303, 3000},  {304, 4000},   {305, 5000},
        {306, 6000},  {307, 7000},  {308, 10000}, {309, 15000},  {310, 20000},
        {311, 30000}, {312, 60000}, {300, -1000},
    };
    for (const Row& row : rows) {
        TriggerMenuCommandForTest(row.command);
        EXPECT_EQ(wall_->addInterval, row.interval) << row.command;
    }
}

std::atomic<uint32_t> gFakeNow{0};
uint32_t FakeClock() { return gFakeNow.load(); }

TEST_F(MenuCommandTest, StoppingAndRestartingTimedAddsTakesEffectAtTheNextFrame) {
    OpenPlaying(MakeFolder("interval", {{"a.gif", 250, 300}, {"b.gif", 250, 350}}));
    gFakeNow = 1'000'000;
    SetClockForTest(FakeClock);
    wall_->lastAddTime = gFakeNow;
    wall_->lastFrameTime = gFakeNow;

    // 停止 (the fixture's choice): ten seconds later no add is posted.
    gFakeNow += 10'000;
    ASSERT_TRUE(MainLoopPass(wall_));
    EXPECT_EQ(wall_->lastAddTime, 1'000'000u);

    // 1秒: the very next frame posts the overdue add.
    TriggerMenuCommandForTest(301);
    const int32_t index = NextIndexOf(wall_);
    ASSERT_TRUE(MainLoopPass(wall_));
    EXPECT_EQ(wall_->lastAddTime, 1'010'000u);
    EXPECT_TRUE(AwaitLoader([&] { return NextIndexOf(wall_) != index; }))
        << "the loader never carried out the add";

    // Half a second later nothing is due; a whole second later it is.
    gFakeNow += 500;
    ASSERT_TRUE(MainLoopPass(wall_));
    EXPECT_EQ(wall_->lastAddTime, 1'010'000u);
    gFakeNow += 500;
    ASSERT_TRUE(MainLoopPass(wall_));
    EXPECT_EQ(wall_->lastAddTime, 1'011'000u);

    // 停止 again stops them at once.
    TriggerMenuCommandForTest(300);
    gFakeNow += 5'000;
    ASSERT_TRUE(MainLoopPass(wall_));
    EXPECT_EQ(wall_->lastAddTime, 1'011'000u);
    WaitIdle(wall_);
}

TEST_F(MenuCommandTest, WidthWaitsForTheNextOpen) {
    const std::string folder = MakeFolder("width", {{"a.gif", 250, 500}, {"b.gif", 250, 250}});
    OpenPlaying(folder);
    const std::vector<ColumnView> before = ViewColumns(wall_);

    TriggerMenuCommandForTest(200);  // 100px
    EXPECT_EQ(wall_->pendingColumnWidth, 100);
    EXPECT_EQ(wall_->pendingScaleWidth, 100);
    EXPECT_EQ(wall_->columnWidth, 250);
    EXPECT_EQ(gScaleWidth, 250);
    EXPECT_EQ(wall_->columnCount, 3);
    EXPECT_EQ(ViewColumns(wall_), before);

    OpenThroughMenu(folder);  // answered Yes
    ASSERT_TRUE(wall_->playing);
    EXPECT_EQ(wall_->columnWidth, 100);
    EXPECT_EQ(gScaleWidth, 100);
    EXPECT_EQ(wall_->columnCount, 7);
    // The 250-pixel-wide files are scaled to 100: 200 and 100 high.
    for (const ColumnView& column : ViewColumns(wall_)) {
        for (int32_t height : column.heights) EXPECT_TRUE(height == 200 || height == 100) << height;
    }
    for (const WallImage& image : wall_->images) EXPECT_EQ(image.width, 100);
}

TEST_F(MenuCommandTest, OrderWaitsForTheNextOpen) {
    TriggerMenuCommandForTest(IdOrderRandom);
    const std::string folder = MakeFolder("order", {{"a.gif", 250, 300}, {"b.gif", 250, 350}});
    OpenPlaying(folder);
    EXPECT_EQ(wall_->fileList.orderMode, 1);

    TriggerMenuCommandForTest(IdOrderName);
    EXPECT_EQ(wall_->pendingOrderMode, 0);
    EXPECT_EQ(wall_->fileList.orderMode, 1) << "the running wall changed its order";

    OpenThroughMenu(folder);
    ASSERT_TRUE(wall_->playing);
    EXPECT_EQ(wall_->fileList.orderMode, 0);
    // In file-name order the first column starts a, and the second b.
    EXPECT_EQ(ViewColumns(wall_)[0].heights.front(), 300);
    EXPECT_EQ(ViewColumns(wall_)[1].heights.front(), 350);
}

TEST_F(MenuCommandTest, CloseIsGreyedUntilAWallPlaysAndGreysAgainAfterUse) {
    EXPECT_FALSE(IsMenuItemEnabledForTest(IdClose));
    const std::string folder = MakeFolder("close", {{"a.gif", 250, 300}});
    OpenPlaying(folder);
    EXPECT_TRUE(IsMenuItemEnabledForTest(IdClose));

    const int32_t columns = wall_->columnCount;
    TriggerMenuCommandForTest(IdClose);
    EXPECT_FALSE(IsMenuItemEnabledForTest(IdClose));
    EXPECT_EQ(GetMenuItemState(IdClose), kMenuGreyed);
    EXPECT_FALSE(wall_->playing);
    EXPECT_TRUE(wall_->images.empty());
    EXPECT_EQ(wall_->columnCount, columns);
    EXPECT_EQ(wall_->lastAddColumn, -1);

    // Opening over a playing wall and then choosing no folder leaves an
    // empty wall with "閉じる" still usable; using it greys it.
    OpenPlaying(folder);
    gUser.folder.clear();
    TriggerMenuCommandForTest(IdOpen);
    EXPECT_FALSE(wall_->playing);
    EXPECT_TRUE(wall_->images.empty());
    EXPECT_TRUE(IsMenuItemEnabledForTest(IdClose));
    TriggerMenuCommandForTest(IdClose);
    EXPECT_FALSE(IsMenuItemEnabledForTest(IdClose));
}

struct DialogSeen {
    int scriptRuns = 0;
    VersionDialogViewForTest shown;
    VersionDialogViewForTest afterEscape;
};
DialogSeen gDialogSeen;

void VersionDialogScript(VersionDialogForTest* dialog) {
    ++gDialogSeen.scriptRuns;
    gDialogSeen.shown = ViewVersionDialogForTest(dialog);
    PressEscapeInVersionDialogForTest(dialog);
    PumpFor(20);
    gDialogSeen.afterEscape = ViewVersionDialogForTest(dialog);
    ClickVersionDialogButtonForTest(dialog);
}

TEST_F(MenuCommandTest, VersionDialogClosesThroughItsButtonOnly) {
    gDialogSeen = DialogSeen{};
    SetVersionDialogScriptForTest(VersionDialogScript);
    TriggerMenuCommandForTest(IdVersion);  // returns once the dialog closed
    SetVersionDialogScriptForTest(nullptr);

    EXPECT_EQ(gDialogSeen.scriptRuns, 1);
    EXPECT_TRUE(gDialogSeen.shown.open);
    EXPECT_TRUE(gDialogSeen.shown.modal);
    EXPECT_FALSE(gDialogSeen.shown.hasCloseButton);
    EXPECT_EQ(gDialogSeen.shown.caption, "バージョン情報");
    EXPECT_EQ(gDialogSeen.shown.text, "リールスタック 1.0.1\n\n公開日付: 2019.6");
    EXPECT_EQ(gDialogSeen.shown.buttonText, "閉じる");
    EXPECT_TRUE(gDialogSeen.afterEscape.open) << "Esc closed the dialog";
    EXPECT_TRUE(gUser.titles.empty());
}

TEST_F(MenuCommandTest, AboutOpensTheReadmeOfTheStartDirectory) {
    const std::string expected = std::string(REELSTACK_RUNTIME_DIR) + "/readme.txt";
    TriggerMenuCommandForTest(IdAbout);
    // A later change of the working directory does not move it.
    ASSERT_EQ(chdir("/"), 0);
    TriggerMenuCommandForTest(IdAbout);
    ASSERT_EQ(chdir(REELSTACK_RUNTIME_DIR), 0);
    EXPECT_EQ(gUser.openedTextFiles, (std::vector<std::string>{expected, expected}));
    EXPECT_TRUE(std::filesystem::exists(expected));
}

}  // namespace
}  // namespace flow
