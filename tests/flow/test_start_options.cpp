// The command line's settings, read as the program reads them and applied
// by start-up: each must show in the wall and in the menu's check marks, as
// if its menu item had been chosen. One case per process (one viewer each).
#include <gtest/gtest.h>

#include "viewer_support.h"
#include "app/menu_table.h"
#include "wall/loader.h"

namespace {

// Parses args, starts the viewer with them and returns its wall.
GifWall* StartWith(std::vector<std::string> args, std::string* folder) {
    args.insert(args.begin(), "reelstack");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    int argc = static_cast<int>(args.size());
    StartOptions options;
    bool haveFolder = false;
    EXPECT_EQ(ParseCommandLine(argc, argv.data(), &options, folder, &haveFolder),
              kCommandLineGoOn);
    static int qtArgc = 1;
    static char name[] = "options-test";
    static char* qtArgv[] = {name, nullptr};
    InitPlatform(&qtArgc, qtArgv);
    if (chdir(REELSTACK_RUNTIME_DIR) != 0) return nullptr;
    auto* wall = new GifWall();
    if (!StartUp(wall, options)) return nullptr;
    PumpFor(100);
    return wall;
}

std::vector<int32_t> Checked(std::span<const int32_t> group) {
    std::vector<int32_t> out;
    for (int32_t id : group) {
        if (IsMenuItemCheckedForTest(id) && GetMenuItemState(id) == kMenuChecked) out.push_back(id);
    }
    return out;
}

void Finish(GifWall* wall) {
    Shutdown(wall);
    delete wall;
    gWall = nullptr;
    ShutdownPlatform();
}

TEST(StartOptions, SettingsShowInTheWallAndTheMenuAndTakeEffectAtTheFirstOpen) {
    const std::filesystem::path folder = FreshFolder("options");
    for (const char* name : {"a.gif", "b.gif", "c.gif"}) WriteSolidGif(folder / name, 300, 150, 2);
    std::string given;
    GifWall* wall = StartWith({"--interval", "5", "--width=200", "--order", "name", "--size",
                               "900x500", "--topmost", "--bare", folder.string()},
                              &given);
    ASSERT_TRUE(wall && wall->loaderThread);
    EXPECT_EQ(given, folder.string());
    EXPECT_EQ(wall->addInterval, 5000);
    EXPECT_EQ(std::tuple(wall->pendingColumnWidth, wall->pendingScaleWidth, wall->pendingOrderMode),
              std::tuple(200, 200, 0));
    EXPECT_EQ(Checked(kIntervalIds), std::vector<int32_t>{IdInterval5s});
    EXPECT_EQ(Checked(kWidthIds), std::vector<int32_t>{IdWidth200});
    EXPECT_EQ(Checked(kOrderIds), std::vector<int32_t>{IdOrderName});
    EXPECT_TRUE(gTopmost && IsTopmostForTest(wall->hwnd) && IsMenuItemCheckedForTest(IdTopmost));
    EXPECT_TRUE(IsFramelessForTest(wall->hwnd) && !HasMenuBar(wall->hwnd));
    EXPECT_FALSE(IsFullScreen(wall->hwnd));
    EXPECT_EQ(std::pair(wall->clientWidth, wall->clientHeight), std::pair(900, 500));

    // The first open uses them: 200-pixel columns, 300-wide files scaled
    // down to 200 (150 high -> 100), file-name order.
    OpenCommand(wall, &given);
    ASSERT_TRUE(wall->playing);
    EXPECT_EQ(std::tuple(wall->columnWidth, wall->columnCount, wall->fileList.orderMode),
              std::tuple(200, 4, 0));
    EXPECT_EQ(wall->images.at(0).height, 100);
    // A double-click brings the menu back with the marks it showed.
    DoubleClickClientForTest(wall->hwnd);
    PumpFor(100);
    EXPECT_TRUE(HasMenuBar(wall->hwnd));
    EXPECT_EQ(Checked(kIntervalIds), std::vector<int32_t>{IdInterval5s});
    Finish(wall);
}

TEST(StartOptions, FullScreenAndStopStartTheWallOnTheWholeScreen) {
    const std::filesystem::path folder = FreshFolder("fullstart");
    for (const char* name : {"a.gif", "b.gif"}) WriteSolidGif(folder / name, 250, 400, 2);
    std::string given;
    GifWall* wall = StartWith({"--fullscreen", "--interval", "stop", "--order", "random"}, &given);
    ASSERT_TRUE(wall && wall->loaderThread);
    EXPECT_TRUE(given.empty());
    int32_t screenW = 0, screenH = 0;
    ScreenSizeForTest(wall->hwnd, &screenW, &screenH);
    EXPECT_TRUE(IsFullScreen(wall->hwnd));
    EXPECT_FALSE(HasMenuBar(wall->hwnd));
    EXPECT_EQ(std::pair(wall->clientWidth, wall->clientHeight), std::pair(screenW, screenH));
    EXPECT_LT(wall->addInterval, 0);
    EXPECT_EQ(Checked(kIntervalIds), std::vector<int32_t>{IdIntervalStop});
    EXPECT_EQ(Checked(kOrderIds), std::vector<int32_t>{IdOrderRandom});
    EXPECT_EQ(Checked(kWidthIds), std::vector<int32_t>{IdWidth250});  // the default
    const std::string path = folder.string();
    OpenCommand(wall, &path);
    EXPECT_EQ(wall->columnCount, screenW / 250);
    // Esc gives back the framed 760 x 600 window with its menu bar.
    PressKeyForTest(wall->hwnd, KeyEscape);
    ASSERT_TRUE(PumpUntil([&] { return wall->clientWidth == 760; }));
    EXPECT_EQ(std::pair(wall->clientWidth, wall->clientHeight), std::pair(760, 600));
    EXPECT_TRUE(HasMenuBar(wall->hwnd));
    EXPECT_EQ(wall->columnCount, 3);
    Finish(wall);
}

}  // namespace
