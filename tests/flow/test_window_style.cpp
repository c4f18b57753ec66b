// Topmost and bare mode: both change the window's flags, which makes Qt
// build a new native top-level window under the client area. Each test runs
// in a process of its own (see CMakeLists.txt), so that what one flag change
// leaves behind cannot spill into another test.
#include "flow_support.h"

namespace flow {
namespace {

class WindowStyleTest : public FlowTest {};

TEST_F(WindowStyleTest, TopmostTogglesWithItsCheckMark) {
    for (bool expected : {true, false, true, false}) {
        TriggerMenuCommandForTest(IdTopmost);
        PumpFor(20);
        EXPECT_EQ(gTopmost, expected);
        EXPECT_EQ(IsTopmostForTest(wall_->hwnd), expected);
        EXPECT_EQ(IsMenuItemCheckedForTest(IdTopmost), expected);
        EXPECT_EQ(GetMenuItemState(IdTopmost), expected ? kMenuChecked : kMenuPlain);
        EXPECT_TRUE(IsWindowShownForTest(wall_->hwnd));
        EXPECT_TRUE(HasMenuBar(wall_->hwnd));
    }
}

TEST_F(WindowStyleTest, DoubleClickTogglesBareModeAndBackToTheFramedStyle) {
    OpenPlaying(MakeFolder("bare", {{"a.gif", 250, 300}}));
    TriggerMenuCommandForTest(IdTopmost);
    int32_t x0, y0, w0, h0;
    OuterGeometryForTest(wall_->hwnd, &x0, &y0, &w0, &h0);

    DoubleClickClientForTest(wall_->hwnd);
    PumpFor(100);
    EXPECT_FALSE(HasMenuBar(wall_->hwnd));
    EXPECT_TRUE(IsFramelessForTest(wall_->hwnd));
    EXPECT_TRUE(IsTopmostForTest(wall_->hwnd)) << "bare mode lost the topmost flag";
    EXPECT_TRUE(IsWindowShownForTest(wall_->hwnd));
    // The client area took over the menu bar's room, and the wall knows.
    int32_t width = 0;
    int32_t height = 0;
    ClientSizeForTest(wall_->hwnd, &width, &height);
    EXPECT_GT(height, 600);
    EXPECT_EQ(wall_->clientHeight, height) << "the wall missed the new client size";
    EXPECT_TRUE(wall_->playing);

    DoubleClickClientForTest(wall_->hwnd);
    PumpFor(100);
    EXPECT_TRUE(HasMenuBar(wall_->hwnd));
    EXPECT_FALSE(IsFramelessForTest(wall_->hwnd));
    EXPECT_TRUE(IsTopmostForTest(wall_->hwnd));
    EXPECT_TRUE(IsWindowShownForTest(wall_->hwnd));
    ClientSizeForTest(wall_->hwnd, &width, &height);
    EXPECT_EQ(height, 600);
    EXPECT_EQ(wall_->clientHeight, 600);
    int32_t x1, y1, w1, h1;
    OuterGeometryForTest(wall_->hwnd, &x1, &y1, &w1, &h1);
    EXPECT_EQ(w1, w0);
    EXPECT_EQ(h1, h0);
}

TEST_F(WindowStyleTest, TheWallFollowsTheWindowSizeAfterTopmostWasSwitched) {
    OpenPlaying(MakeFolder("topmost-resize", {{"a.gif", 250, 300}}));
    TriggerMenuCommandForTest(IdTopmost);
    TriggerMenuCommandForTest(IdTopmost);
    PumpFor(50);
    ResizeClientForTest(wall_->hwnd, 510, 600);
    EXPECT_EQ(wall_->clientWidth, 510) << "the wall missed the new client size";
    EXPECT_EQ(wall_->columnCount, 2) << "no relayout after the resize";
}

}  // namespace
}  // namespace flow
