// The main window as the program drives it: menu, client size, window
// states, bare mode, topmost, the close box, mouse input and the event pump.
#include "gui_test_support.h"
#include "platform/platform_qt.h"

#include <QDir>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QStyleHints>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

// A shape like the program's own menu: nested popups, separators, and an
// item after a closed popup.
const MenuEntry kMenu[] = {
    {MenuEntryKind::Popup, 0, "ファイル"},
    {MenuEntryKind::Item, 100, "開く"},
    {MenuEntryKind::Item, 103, "閉じる"},
    {MenuEntryKind::Separator, 0, nullptr},
    {MenuEntryKind::Popup, 0, "読込設定"},
    {MenuEntryKind::Popup, 0, "横幅"},
    {MenuEntryKind::Item, 200, "100px"},
    {MenuEntryKind::Item, 201, "150px"},
    {MenuEntryKind::EndPopup, 0, nullptr},
    {MenuEntryKind::EndPopup, 0, nullptr},
    {MenuEntryKind::Separator, 0, nullptr},
    {MenuEntryKind::Item, 101, "終了"},
    {MenuEntryKind::EndPopup, 0, nullptr},
    {MenuEntryKind::Popup, 0, "表示"},
    {MenuEntryKind::Item, 102, "常に最前面に表示"},
    {MenuEntryKind::EndPopup, 0, nullptr},
};

constexpr int32_t kClientWidth = 320;
constexpr int32_t kClientHeight = 240;

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        RecordedEvents().clear();
        window_ = CreateMainWindow("リールスタック", kClientWidth, kClientHeight, kMenu,
                                   std::size(kMenu), RecordEvent);
        ASSERT_NE(window_, nullptr);
    }
    void TearDown() override {
        DestroyWindowForTest(window_);
        ResetQuitForTest();
    }

    void ExpectClientSize(int32_t width, int32_t height) {
        int32_t w = 0;
        int32_t h = 0;
        ClientSizeForTest(window_, &w, &h);
        EXPECT_EQ(w, width);
        EXPECT_EQ(h, height);
    }

    QRect Outer() {
        int32_t x, y, w, h;
        OuterGeometryForTest(window_, &x, &y, &w, &h);
        return QRect(x, y, w, h);
    }

    PlatformWindow* window_ = nullptr;
};

// ---------------------------------------------------------------- menu

TEST_F(MainWindowTest, MenuBarFollowsTheTable) {
    EXPECT_EQ(MenuOutlineForTest(),
              "ファイル\n"
              "  開く #100\n"
              "  閉じる #103\n"
              "  -\n"
              "  読込設定\n"
              "    横幅\n"
              "      100px #200\n"
              "      150px #201\n"
              "  -\n"
              "  終了 #101\n"
              "表示\n"
              "  常に最前面に表示 #102\n");
    EXPECT_TRUE(HasMenuBar(window_));
}

TEST_F(MainWindowTest, MenuStatesRoundTripAndShow) {
    struct Row {
        int32_t state;
        bool enabled;
        bool checked;
    };
    // Each row starts from the state the row before left, so every change
    // between the three states is crossed once.
    const Row rows[] = {
        {kMenuChecked, true, true}, {kMenuGreyed, false, false}, {kMenuChecked, true, true},
        {kMenuPlain, true, false},  {kMenuGreyed, false, false}, {kMenuPlain, true, false},
    };
    for (const Row& row : rows) {
        SetMenuItemState(201, row.state);
        EXPECT_EQ(GetMenuItemState(201), row.state);
        EXPECT_EQ(IsMenuItemEnabledForTest(201), row.enabled) << "state " << row.state;
        EXPECT_EQ(IsMenuItemCheckedForTest(201), row.checked) << "state " << row.state;
    }
    // The item beside it is untouched, and an unknown id reads as plain.
    EXPECT_EQ(GetMenuItemState(200), kMenuPlain);
    EXPECT_TRUE(IsMenuItemEnabledForTest(200));
    EXPECT_EQ(GetMenuItemState(999), kMenuPlain);
}

TEST_F(MainWindowTest, MenuCommandsReachTheProcedureAtOnce) {
    // No event handling between the trigger and the check: the command is
    // delivered while the trigger runs, as the menu code expects.
    for (int32_t id : {100, 201, 101, 102}) {
        RecordedEvents().clear();
        TriggerMenuCommandForTest(id);
        ASSERT_EQ(RecordedEvents().size(), 1u) << id;
        EXPECT_EQ(RecordedEvents()[0].kind, WindowEventKind::Command);
        EXPECT_EQ(RecordedEvents()[0].id, id);
    }
}

TEST_F(MainWindowTest, GreyedItemCannotBeChosen) {
    SetMenuItemState(103, kMenuGreyed);
    TriggerMenuCommandForTest(103);
    EXPECT_EQ(CountEvents(WindowEventKind::Command), 0u);
    SetMenuItemState(103, kMenuPlain);
    TriggerMenuCommandForTest(103);
    EXPECT_EQ(CountEvents(WindowEventKind::Command), 1u);
}

TEST_F(MainWindowTest, ChoosingAnItemLeavesItsMarkToTheProgram) {
    // Qt would flip a checkable item's mark by itself; the program sets the
    // marks, so a procedure that sets nothing must leave them as they were.
    SetMenuItemState(200, kMenuChecked);
    TriggerMenuCommandForTest(200);
    EXPECT_TRUE(IsMenuItemCheckedForTest(200));
    EXPECT_EQ(GetMenuItemState(200), kMenuChecked);
    TriggerMenuCommandForTest(201);
    EXPECT_FALSE(IsMenuItemCheckedForTest(201));
    EXPECT_EQ(GetMenuItemState(201), kMenuPlain);
}

TEST_F(MainWindowTest, ClickingTheOpenMenuDeliversTheCommand) {
    QMenuBar* bar = MainWidgetForTest(window_)->menuBar();
    QMenu* view = bar->actions().at(1)->menu();
    ASSERT_NE(view, nullptr);
    view->popup(bar->mapToGlobal(QPoint(0, bar->height())));
    ASSERT_TRUE(PumpUntil([view] { return view->isVisible(); }));
    QAction* topmost = view->actions().at(0);
    QTest::mouseClick(view, Qt::LeftButton, Qt::NoModifier,
                      view->actionGeometry(topmost).center());
    ASSERT_TRUE(PumpUntil([] { return CountEvents(WindowEventKind::Command) == 1; }));
    EXPECT_EQ(RecordedEvents().back().id, 102);
    EXPECT_FALSE(view->isVisible());
}

// ---------------------------------------------------------------- size

TEST_F(MainWindowTest, ClientAreaStartsAtTheRequestedSize) {
    ExpectClientSize(kClientWidth, kClientHeight);
    // The procedure heard the size while the window was being made.
    const WindowEvent size = LastSizeEvent();
    ASSERT_EQ(size.kind, WindowEventKind::Size);
    EXPECT_EQ(size.sizeKind, SizeRestored);
    EXPECT_EQ(size.width, kClientWidth);
    EXPECT_EQ(size.height, kClientHeight);
}

TEST_F(MainWindowTest, ResizingReportsTheNewClientSize) {
    struct Row {
        int32_t width, height;
    };
    for (const Row& row : {Row{400, 300}, Row{200, 150}, Row{401, 151}}) {
        ResizeClientForTest(window_, row.width, row.height);
        ExpectClientSize(row.width, row.height);
        const WindowEvent size = LastSizeEvent();
        EXPECT_EQ(size.sizeKind, SizeRestored);
        EXPECT_EQ(size.width, row.width);
        EXPECT_EQ(size.height, row.height);
    }
}

TEST_F(MainWindowTest, WindowStatesAreReportedWithTheirKind) {
    struct Row {
        void (*change)(PlatformWindow*, bool);
        bool on;
        int32_t kind;
    };
    const Row rows[] = {
        {SetMinimizedForTest, true, SizeMinimized},
        {SetMinimizedForTest, false, SizeRestored},
        {SetMaximizedForTest, true, SizeMaximized},
        {SetMaximizedForTest, false, SizeRestored},
    };
    for (const Row& row : rows) {
        RecordedEvents().clear();
        row.change(window_, row.on);
        const WindowEvent size = LastSizeEvent();
        ASSERT_EQ(size.kind, WindowEventKind::Size) << "row " << (&row - rows);
        EXPECT_EQ(size.sizeKind, row.kind) << "row " << (&row - rows);
        // A restore tells the size again: none came while minimised.
        if (row.kind == SizeRestored) {
            EXPECT_EQ(size.width, kClientWidth);
            EXPECT_EQ(size.height, kClientHeight);
        }
    }
}

// ---------------------------------------------------------------- styles

TEST_F(MainWindowTest, BareModeTradesMenuAndFrameForClientArea) {
    const QRect outer = Outer();
    const int menuHeight = MainWidgetForTest(window_)->menuBar()->height();
    ASSERT_GT(menuHeight, 0);

    SetBareMode(window_, true);
    ASSERT_TRUE(PumpUntil([this] {
        int32_t w, h;
        ClientSizeForTest(window_, &w, &h);
        return h != kClientHeight;
    }));
    PumpFor(50);
    EXPECT_FALSE(HasMenuBar(window_));
    EXPECT_TRUE(IsFramelessForTest(window_));
    EXPECT_TRUE(IsWindowShownForTest(window_));
    EXPECT_EQ(Outer(), outer);
    // No window manager draws a frame here, so the client area gains
    // exactly the menu bar.
    ExpectClientSize(kClientWidth, kClientHeight + menuHeight);
    EXPECT_EQ(LastSizeEvent().height, kClientHeight + menuHeight);

    SetBareMode(window_, false);
    ASSERT_TRUE(PumpUntil([this] {
        int32_t w, h;
        ClientSizeForTest(window_, &w, &h);
        return h == kClientHeight;
    }));
    PumpFor(50);
    EXPECT_TRUE(HasMenuBar(window_));
    EXPECT_FALSE(IsFramelessForTest(window_));
    EXPECT_EQ(Outer(), outer);
    ExpectClientSize(kClientWidth, kClientHeight);
    EXPECT_EQ(LastSizeEvent().height, kClientHeight);
}

TEST_F(MainWindowTest, TopmostTogglesAndKeepsTheWindowInPlace) {
    const QRect outer = Outer();
    for (bool topmost : {true, false, true}) {
        SetTopmost(window_, topmost);
        PumpFor(50);
        EXPECT_EQ(IsTopmostForTest(window_), topmost);
        EXPECT_TRUE(IsWindowShownForTest(window_));
        EXPECT_EQ(Outer(), outer);
        ExpectClientSize(kClientWidth, kClientHeight);
    }
}

TEST_F(MainWindowTest, TitleKeepsJapaneseText) {
    EXPECT_EQ(WindowTitleForTest(window_), "リールスタック");
    SetWindowTitle(window_, "リールスタック (読込中..)");
    EXPECT_EQ(WindowTitleForTest(window_), "リールスタック (読込中..)");
}

TEST(WindowIconTest, IconsComeFromTheWorkingDirectoryWhenPresent) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString previous = QDir::currentPath();
    QDir::setCurrent(dir.path());
    const MenuEntry none[] = {{MenuEntryKind::Item, 1, "x"}};

    // Missing files are no error: the window comes without an icon.
    PlatformWindow* window = CreateMainWindow("icon", 64, 64, none, 1, RecordEvent);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(MainWidgetForTest(window)->windowIcon().isNull());
    DestroyWindowForTest(window);

    QImage large(32, 32, QImage::Format_ARGB32);
    large.fill(Qt::red);
    ASSERT_TRUE(large.save("favBg.ico"));
    QImage small(16, 16, QImage::Format_ARGB32);
    small.fill(Qt::blue);
    ASSERT_TRUE(small.save("fav.ico"));
    window = CreateMainWindow("icon", 64, 64, none, 1, RecordEvent);
    const QList<QSize> sizes = MainWidgetForTest(window)->windowIcon().availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    DestroyWindowForTest(window);
    QDir::setCurrent(previous);
}

// ---------------------------------------------------------------- close box

TEST_F(MainWindowTest, CloseBoxAsksAndTheWindowStays) {
    RecordedEvents().clear();
    CloseWindowForTest(window_);
    EXPECT_EQ(CountEvents(WindowEventKind::Close), 1u);
    EXPECT_TRUE(IsWindowShownForTest(window_));
    // Nothing quit by itself: the program decides.
    EXPECT_FALSE(QuitRequested());
}

// ---------------------------------------------------------------- mouse

TEST_F(MainWindowTest, ClicksReachTheProcedureAsTheProgramExpects) {
    QWindow* client = ClientQWindowForTest(window_);
    const QPoint middle(kClientWidth / 2, kClientHeight / 2);

    RecordedEvents().clear();
    QTest::mouseClick(client, Qt::LeftButton, Qt::NoModifier, middle);
    EXPECT_EQ(CountEvents(WindowEventKind::LeftButtonDown), 1u);
    EXPECT_EQ(CountEvents(WindowEventKind::LeftButtonDoubleClick), 0u);

    // A real double click: press, release, press, release. The second press
    // is part of the double click and must not count as a press of its own.
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 50);
    RecordedEvents().clear();
    QTest::mouseDClick(client, Qt::LeftButton, Qt::NoModifier, middle);
    ASSERT_EQ(RecordedEvents().size(), 2u);
    EXPECT_EQ(RecordedEvents()[0].kind, WindowEventKind::LeftButtonDown);
    EXPECT_EQ(RecordedEvents()[1].kind, WindowEventKind::LeftButtonDoubleClick);

    RecordedEvents().clear();
    QTest::mouseClick(client, Qt::RightButton, Qt::NoModifier, middle);
    EXPECT_TRUE(RecordedEvents().empty());
}

TEST_F(MainWindowTest, DoubleClickHookMatchesARealDoubleClick) {
    RecordedEvents().clear();
    DoubleClickClientForTest(window_);
    ASSERT_EQ(RecordedEvents().size(), 2u);
    EXPECT_EQ(RecordedEvents()[0].kind, WindowEventKind::LeftButtonDown);
    EXPECT_EQ(RecordedEvents()[1].kind, WindowEventKind::LeftButtonDoubleClick);
    RecordedEvents().clear();
    ClickClientForTest(window_);
    ASSERT_EQ(RecordedEvents().size(), 1u);
    EXPECT_EQ(RecordedEvents()[0].kind, WindowEventKind::LeftButtonDown);
}

// ---------------------------------------------------------------- event pump

// Ends a waiting test even if the pump never wakes, so a broken wake shows
// as a failure instead of a hang.
class Watchdog {
public:
    explicit Watchdog(int ms)
        : thread_([this, ms] {
              const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
              while (!stop_ && std::chrono::steady_clock::now() < end) {
                  std::this_thread::sleep_for(std::chrono::milliseconds(5));
              }
              if (stop_) return;
              fired_ = true;
              QMetaObject::invokeMethod(qApp, [] {}, Qt::QueuedConnection);
          }) {}
    ~Watchdog() {
        stop_ = true;
        thread_.join();
    }
    bool Fired() const { return fired_; }

private:
    std::atomic<bool> stop_{false};
    std::atomic<bool> fired_{false};
    std::thread thread_;
};

TEST_F(MainWindowTest, QuitFromAHandlerEndsAWaitingPump) {
    QTimer::singleShot(30, [] { PostQuit(0); });
    Watchdog watchdog(3000);
    while (!QuitRequested() && !watchdog.Fired()) ProcessEvents(true);
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_TRUE(QuitRequested());
    EXPECT_EQ(QuitExitCode(), 0);
}

TEST_F(MainWindowTest, QuitFromAnotherThreadWakesAWaitingPump) {
    PumpFor(50);  // nothing left over that would end the wait by itself
    Watchdog watchdog(3000);
    std::thread poster([] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        PostQuit(7);
    });
    while (!QuitRequested() && !watchdog.Fired()) ProcessEvents(true);
    poster.join();
    EXPECT_FALSE(watchdog.Fired());
    EXPECT_EQ(QuitExitCode(), 7);
}

TEST_F(MainWindowTest, PumpWithoutWaitHandlesWhatIsQueuedAndReturns) {
    // The not-waiting pump is what a playing wall runs between frames.
    PumpFor(50);
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    Watchdog watchdog(1000);
    ProcessEvents(false);
    EXPECT_TRUE(ran);
    ProcessEvents(false);  // nothing is queued now: it must return at once
    EXPECT_FALSE(watchdog.Fired());
}

}  // namespace
