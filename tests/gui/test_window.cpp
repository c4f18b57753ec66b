// The main window, the event pump, the version dialog and the clock, driven
// through the platform's seams as the program drives them.
#include <gtest/gtest.h>

#include <QApplication>
#include <QWidget>
#include <algorithm>
#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "platform/platform.h"
#include "platform/test_hooks.h"

namespace {

std::vector<WindowEvent> gEvents;
void Record(const WindowEvent& event) { gEvents.push_back(event); }

const MenuEntry kMenu[] = {
    {MenuEntryKind::Popup, 0, "ファイル"},  {MenuEntryKind::Item, 100, "開く"},
    {MenuEntryKind::Separator, 0, nullptr}, {MenuEntryKind::Popup, 0, "横幅"},
    {MenuEntryKind::Item, 200, "100px"},    {MenuEntryKind::EndPopup, 0, nullptr},
    {MenuEntryKind::Item, 101, "終了"},     {MenuEntryKind::EndPopup, 0, nullptr},
    {MenuEntryKind::Popup, 0, "表示"},      {MenuEntryKind::Item, 102, "最前面"},
    {MenuEntryKind::EndPopup, 0, nullptr},
};

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        gEvents.clear();
        window_ = CreateMainWindow("リールスタック", 320, 240, kMenu, std::size(kMenu), Record);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        DestroyWindowForTest(window_);
        ResetQuitForTest();
    }
    // The last Size event matches, and so does the client area itself.
    void ExpectSize(int32_t kind, int32_t width, int32_t height) {
        auto last = std::find_if(gEvents.rbegin(), gEvents.rend(), [](const WindowEvent& e) {
            return e.kind == WindowEventKind::Size;
        });
        ASSERT_NE(last, gEvents.rend()) << "no Size event";
        EXPECT_EQ(last->sizeKind, kind);
        if (kind == SizeMinimized) return;
        int32_t w = 0, h = 0;
        ClientSizeForTest(window_, &w, &h);
        EXPECT_EQ(std::pair(last->width, last->height), std::pair(width, height));
        EXPECT_EQ(std::pair(w, h), std::pair(width, height));
    }
    PlatformWindow* window_ = nullptr;
};

TEST_F(WindowTest, MenuFollowsTheTableAndCarriesCommandsAndStates) {
    EXPECT_EQ(
        MenuOutlineForTest(),
        "ファイル\n  開く #100\n  -\n  横幅\n    100px #200\n  終了 #101\n表示\n  最前面 #102\n");
    for (int32_t id : {100, 200, 101, 102}) {
        gEvents.clear();
        TriggerMenuCommandForTest(id);  // delivered at once, not on a later pump
        ASSERT_EQ(gEvents.size(), 1u) << id;
        EXPECT_EQ(gEvents[0].kind, WindowEventKind::Command);
        EXPECT_EQ(gEvents[0].id, id);
    }
    // Each row starts from the one before, so every change of state is crossed.
    const std::tuple<int32_t, bool, bool> rows[] = {
        {kMenuChecked, true, true}, {kMenuGreyed, false, false}, {kMenuChecked, true, true},
        {kMenuPlain, true, false},  {kMenuGreyed, false, false}, {kMenuPlain, true, false},
    };
    for (auto [state, enabled, checked] : rows) {
        SetMenuItemState(200, state);
        EXPECT_EQ(GetMenuItemState(200), state);
        EXPECT_EQ(IsMenuItemEnabledForTest(200), enabled) << state;
        EXPECT_EQ(IsMenuItemCheckedForTest(200), checked) << state;
    }
    // Qt would flip the mark of a chosen item; the marks are the program's.
    SetMenuItemState(200, kMenuChecked);
    TriggerMenuCommandForTest(200);
    EXPECT_TRUE(IsMenuItemCheckedForTest(200));
}

TEST_F(WindowTest, SizeEventsFollowTheClientArea) {
    ExpectSize(SizeRestored, 320, 240);  // heard while the window was made
    ResizeClientForTest(window_, 401, 151);
    ExpectSize(SizeRestored, 401, 151);
    SetMinimizedForTest(window_, true);
    ExpectSize(SizeMinimized, 0, 0);
    gEvents.clear();
    SetMinimizedForTest(window_, false);  // the restore tells the size again
    ExpectSize(SizeRestored, 401, 151);
}

TEST_F(WindowTest, CloseBoxAsksAndTheWindowStays) {
    gEvents.clear();
    CloseWindowForTest(window_);
    ASSERT_EQ(gEvents.size(), 1u);
    EXPECT_EQ(gEvents[0].kind, WindowEventKind::Close);
    EXPECT_TRUE(IsWindowShownForTest(window_));
    EXPECT_FALSE(QuitRequested());
}

TEST_F(WindowTest, QuitFromAnotherThreadWakesAWaitingPump) {
    ProcessEvents(false);  // nothing left over that would end the wait by itself
    std::atomic<bool> done{false}, fired{false};
    // Wakes the pump after 3 s, so that a lost wake fails instead of hanging.
    std::thread watchdog([&] {
        for (int i = 0; i < 600 && !done; ++i) SleepMs(5);
        if (!done) fired = true, QCoreApplication::postEvent(qApp, new QEvent(QEvent::User));
    });
    std::thread poster([] { SleepMs(100), PostQuit(7); });
    while (!QuitRequested() && !fired) ProcessEvents(true);
    done = true;
    poster.join();
    watchdog.join();
    EXPECT_FALSE(fired);
    EXPECT_EQ(QuitExitCode(), 7);
}

VersionDialogViewForTest gShown;
bool gOpenAfter[3];  // Esc, a close request, the button

TEST_F(WindowTest, VersionDialogClosesOnlyThroughItsButton) {
    SetVersionDialogScriptForTest([](VersionDialogForTest* dialog) {
        gShown = ViewVersionDialogForTest(dialog);
        PressEscapeInVersionDialogForTest(dialog);
        QCoreApplication::processEvents();
        gOpenAfter[0] = ViewVersionDialogForTest(dialog).open;
        // What a window manager's close shortcut sends.
        if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
        QCoreApplication::processEvents();
        gOpenAfter[1] = ViewVersionDialogForTest(dialog).open;
        ClickVersionDialogButtonForTest(dialog);
        gOpenAfter[2] = ViewVersionDialogForTest(dialog).open;
    });
    const uint8_t icon[32 * 32 * 4] = {0x12, 0x34, 0x56, 0xFF};
    ShowVersionDialog(window_, "バージョン情報", "リールスタック 1.0.1", "閉じる", icon);
    SetVersionDialogScriptForTest(nullptr);
    EXPECT_TRUE(gShown.open && gShown.modal && !gShown.hasCloseButton);
    EXPECT_EQ(gShown.iconTopLeftRgba, 0x123456FFu);
    EXPECT_TRUE(gOpenAfter[0] && gOpenAfter[1]);
    EXPECT_FALSE(gOpenAfter[2]);
}

TEST(ClockTest, RealClockWrapsAt32Bits) {
    // Just below 2^32, so a clock kept in more bits or stopping at the top fails.
    SetClockOffsetForTest(0u - TimeMs() - 20u);
    const uint32_t before = TimeMs();
    SleepMs(60);
    const uint32_t after = TimeMs();
    SetClockOffsetForTest(0);
    EXPECT_GE(before, 0xFFFFFFFFu - 25u);
    EXPECT_LT(after, before);
    EXPECT_GE(after - before, 60u);
    EXPECT_LT(after - before, 1000u);
}

}  // namespace
