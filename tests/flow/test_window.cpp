// The window through the real menu: check marks, settings that wait for the
// next open, each way an open can end, the help commands, frames read back
// from the screen, topmost and bare mode. (A resize's relayout: tests/unit
// and the full-screen cases of test_live.cpp.)
#include <GL/glew.h>
#include <unistd.h>

#include <algorithm>
#include <array>

#include "flow_support.h"
#include "gif/gif_decoder.h"  // gScaleWidth

namespace flow {
namespace {

class WindowTest : public FlowTest {};

TEST_F(WindowTest, EachCommandLeavesTheMenuInItsState) {
    // command, then the checked width, interval and order, the interval in ms
    const std::tuple<int32_t, std::vector<int32_t>, int32_t> rows[] = {
        {999, {203, 300, 400}, -1000}, {200, {200, 300, 400}, -1000}, {206, {206, 300, 400}, -1000},
        {301, {206, 301, 400}, 1000},  {308, {206, 308, 400}, 10000}, {312, {206, 312, 400}, 60000},
        {401, {206, 312, 401}, 60000}, {203, {203, 312, 401}, 60000}, {400, {203, 312, 400}, 60000},
        {300, {203, 300, 400}, -1000},
    };
    for (const auto& [command, checked, interval] : rows) {
        TriggerMenuCommandForTest(command);
        std::vector<int32_t> seen;
        for (int32_t id = IdOpen; id < IdVersion; ++id) {
            if (IsMenuItemCheckedForTest(id)) seen.push_back(id);
        }
        EXPECT_EQ(std::pair(seen, wall_->addInterval), std::pair(checked, interval)) << command;
    }
    EXPECT_FALSE(IsMenuItemEnabledForTest(IdClose));
}

TEST_F(WindowTest, WidthAndOrderWaitForTheNextOpenWhichCountsTheColumns) {
    const std::string folder = MakeFolder("pending", {500, 250});
    OpenPlaying(folder);
    const Heights before = Layout(wall_);
    TriggerMenuCommandForTest(IdWidth100);
    TriggerMenuCommandForTest(IdOrderRandom);
    EXPECT_EQ(std::tuple(Layout(wall_), wall_->columnWidth, gScaleWidth, wall_->fileList.orderMode),
              std::tuple(before, 250, 250, 0));
    Open(folder);
    EXPECT_EQ(std::tuple(wall_->columnCount, wall_->columnWidth, gScaleWidth,
                         wall_->fileList.orderMode, wall_->images[0].width),
              std::tuple(7, 100, 100, 1, 100));
}

void OpenFromInsideThePicker() {
    if (gUser.pickerCalls == 1) TriggerMenuCommandForTest(IdOpen);
}

TEST_F(WindowTest, EachWayAnOpenCanEnd) {
    const std::string first = MakeFolder("1st", {300, 350}), second = MakeFolder("2nd", {500, 125});
    const std::string noGif = MakeFolder("no-gif", {}), allBroken = MakeFolder("broken", {0, 0});
    WriteBytes(noGif + "/a.png", {1, 2, 3});
    const Heights secondWall = {{500, 125}, {125, 125, 500}, {500, 500}};
    // GL came up but the loader thread did not: the message names the thread.
    const std::string noLoader =
        "[OK] メッセージダイアログ: 読み込みスレッドを開始できなかったため、画像を表示できません。";
    struct Row {
        int32_t answer;  // over a playing wall, or 0 without one
        std::string folder;
        std::vector<std::string> messages;
        Heights shown;
        void (*insidePicker)() = nullptr;
        bool loader = true;
    };
    const Row rows[] = {
        {0, "", {}, {}},
        {0, noGif, {"[OK] メッセージダイアログ: 画像が見つかりません。"}, {}},
        {0, allBroken, {kNothingShown}, {}},
        {0, second, {noLoader}, {}, nullptr, false},
        {kAnswerNo, second, {kAskEnd}, {{300, 350}, {350, 350}, {300, 300}}},
        {kAnswerYes, second, {kAskEnd}, secondWall},
        {kAnswerYes, second, {kAskEnd}, secondWall, OpenFromInsideThePicker},  // does nothing
    };
    for (const Row& row : rows) {
        if (wall_->playing) TriggerMenuCommandForTest(IdClose);
        if (row.answer != 0) {
            OpenPlaying(first);
            ASSERT_TRUE(PostAddNext(wall_));  // an image staged
        }
        gUser = User{};
        std::tie(gUser.answer, gUser.insidePicker) = std::tuple(row.answer, row.insidePicker);
        LoaderThread* const loader = wall_->loaderThread;
        if (!row.loader) wall_->loaderThread = nullptr;
        Open(row.folder);
        wall_->loaderThread = loader;
        const bool shown = !row.shown.empty(), stopped = row.answer == kAnswerNo || !row.loader;
        EXPECT_EQ(std::tuple(gUser.messages, gUser.pickerCalls, gUser.titles.empty()),
                  std::tuple(row.messages, stopped ? 0 : 1, stopped))
            << row.folder;
        EXPECT_EQ(std::tuple(wall_->images.empty() ? Heights{} : Layout(wall_), wall_->playing,
                             IsMenuItemEnabledForTest(IdClose), WindowTitleForTest(wall_->hwnd)),
                  std::tuple(row.shown, shown, shown, kTitle))
            << row.folder;
    }
}

TEST_F(WindowTest, HelpShowsTheVersionAndTheReadmeOfTheStartDirectory) {
    // How the dialog closes is tested in tests/gui; here, what the viewer shows.
    static VersionDialogViewForTest shown;
    SetVersionDialogScriptForTest([](VersionDialogForTest* dialog) {
        shown = ViewVersionDialogForTest(dialog);
        ClickVersionDialogButtonForTest(dialog);
    });
    TriggerMenuCommandForTest(IdVersion);  // returns once the dialog closed
    SetVersionDialogScriptForTest(nullptr);
    EXPECT_TRUE(shown.open && shown.modal && !shown.hasCloseButton);
    EXPECT_EQ(shown.caption + "|" + shown.text + "|" + shown.buttonText,
              "バージョン情報|リールスタック 1.0.1\n\n公開日付: 2019.6|閉じる");

    TriggerMenuCommandForTest(IdAbout);
    ASSERT_EQ(chdir("/"), 0);  // a later working directory changes nothing
    TriggerMenuCommandForTest(IdAbout);
    ASSERT_EQ(chdir(REELSTACK_RUNTIME_DIR), 0);
    const std::string readme = REELSTACK_RUNTIME_DIR "/readme.txt";
    EXPECT_EQ(gUser.textFiles, (std::vector{readme, readme}));
}

// The main loop's passes on the real window (margins, frame timing and
// partial ticks in detail: tests/viewer).
TEST_F(WindowTest, ImagesSitInTheirColumnsAndAnimateOnScreen) {
    const std::filesystem::path dir = FreshFolder("frames");
    for (int i = 0; i < 6; ++i) {  // file i shows colours 2i and 2i + 1, a draw is half a frame
        WriteSolidGif(dir / ('f' + std::to_string(i) + ".gif"), 250, 250, 2, 4, 2 * i);
    }
    OpenPlaying(dir.string());
    using Rgb = std::array<uint8_t, 3>;
    const Rgb palette[8] = {{255, 0, 0},   {0, 255, 0},   {0, 0, 255},     {255, 255, 0},
                            {255, 0, 255}, {0, 255, 255}, {255, 255, 255}, {0, 0, 0}};
    glReadBuffer(GL_BACK);  // the front buffer reads as zeros under Xvfb
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    auto colour = [&](int x, int y) {  // the palette index on screen, 8 for none
        Rgb pixel{};
        glReadPixels(x, 599 - y, 1, 1, GL_RGB, GL_UNSIGNED_BYTE, pixel.data());
        return static_cast<int32_t>(std::find(palette, palette + 8, pixel) - palette);
    };
    auto shown = [&] {  // the middle of each image, newest first
        Heights columns(3);
        for (int i = 0; i < 9; ++i) {
            const int32_t y = std::min(125 + 250 * (i % 3), 550);
            columns[i / 3].push_back(colour(130 + 250 * (i / 3), y));
        }
        return columns;
    };
    ASSERT_TRUE(MainLoopPass(wall_));
    EXPECT_EQ(shown(), (Heights{{0, 6, 0}, {2, 0, 2}, {4, 2, 4}}));  // f0 f3 f0, f1 f4 f1, ...
    ASSERT_TRUE(MainLoopPass(wall_) && MainLoopPass(wall_));
    EXPECT_EQ(shown(), (Heights{{1, 7, 1}, {3, 1, 3}, {5, 3, 5}}));
}

// Topmost and bare mode make Qt build a new native window under the client
// area: each of these runs in a process of its own (CMakeLists.txt) and
// checks that size events still arrive after it.
TEST_F(WindowTest, TopmostTogglesWithItsCheckMark) {
    for (bool on : {true, false, true, false}) {
        TriggerMenuCommandForTest(IdTopmost);
        PumpFor(20);
        EXPECT_EQ(std::tuple(gTopmost, IsTopmostForTest(wall_->hwnd), GetMenuItemState(IdTopmost),
                             IsMenuItemCheckedForTest(IdTopmost)),
                  std::tuple(on, on, on ? kMenuChecked : kMenuPlain, on));
        EXPECT_TRUE(IsWindowShownForTest(wall_->hwnd) && HasMenuBar(wall_->hwnd));
    }
    SetClientSize(510, 600);
}

TEST_F(WindowTest, DoubleClickTogglesBareModeAndBack) {
    TriggerMenuCommandForTest(IdTopmost);
    for (bool bare : {true, false}) {
        DoubleClickClientForTest(wall_->hwnd);
        PumpFor(100);
        EXPECT_EQ(std::tuple(HasMenuBar(wall_->hwnd), IsFramelessForTest(wall_->hwnd)),
                  std::tuple(!bare, bare));
        EXPECT_TRUE(IsTopmostForTest(wall_->hwnd) && IsWindowShownForTest(wall_->hwnd));
        // Bare, the client area takes the menu bar's room, and the wall knows.
        int32_t width = 0, height = 0;
        ClientSizeForTest(wall_->hwnd, &width, &height);
        EXPECT_EQ(wall_->clientHeight, height);
        EXPECT_TRUE(bare ? height > 600 : height == 600) << height;
    }
}

}  // namespace
}  // namespace flow
