// Start-up as the user finds it, and the main loop driven pass by pass with
// an injected clock and sleep: idle waiting, the 20 ms pacing and the add
// timer, including a wrap of the millisecond clock.
//
// The first test looks at the state start-up left; later tests change the
// wall and the clock, so it must stay first in this file.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

#include "app/menu_table.h"
#include "gif/gif_decoder.h"
#include "render/render.h"
#include "viewer_gl_util.h"
#include "wall/loader.h"

namespace {

// ------------------------------------------------------------ start-up

TEST(StartUpTest, WindowMenuSettingsGlStateAndLoaderAreReady) {
    GifWall* wall = Viewer();
    ASSERT_NE(wall, nullptr);
    EXPECT_EQ(gWall, wall);

    // Check marks on 2秒, 250px and ランダム; 閉じる greyed; every other
    // item plain.
    for (size_t i = 0; i < kMenuTableSize; ++i) {
        if (kMenuTable[i].kind != MenuEntryKind::Item) continue;
        const int32_t id = kMenuTable[i].id;
        SCOPED_TRACE("menu id " + std::to_string(id));
        int32_t expected = kMenuPlain;
        if (id == 302 || id == 203 || id == 401) expected = kMenuChecked;
        if (id == 103) expected = kMenuGreyed;
        EXPECT_EQ(GetMenuItemState(id), expected);
        EXPECT_EQ(IsMenuItemCheckedForTest(id), expected == kMenuChecked);
        EXPECT_EQ(IsMenuItemEnabledForTest(id), expected != kMenuGreyed);
    }

    EXPECT_EQ(WindowTitleForTest(wall->hwnd), "リールスタック");
    int32_t width = 0;
    int32_t height = 0;
    ClientSizeForTest(wall->hwnd, &width, &height);
    EXPECT_EQ(width, 760);
    EXPECT_EQ(height, 600);
    EXPECT_EQ(wall->clientWidth, 760);
    EXPECT_EQ(wall->clientHeight, 600);

    EXPECT_EQ(wall->pendingScaleWidth, 250);
    EXPECT_EQ(wall->pendingColumnWidth, 250);
    EXPECT_EQ(wall->pendingOrderMode, 1);
    EXPECT_EQ(wall->fileList.orderMode, 1);
    EXPECT_EQ(wall->columnWidth, 250);
    EXPECT_EQ(wall->addInterval, 2000);
    EXPECT_EQ(gScaleWidth, 250);
    EXPECT_EQ(wall->columnCount, 0);
    EXPECT_FALSE(wall->playing);
    EXPECT_FALSE(wall->minimized);
    EXPECT_EQ(wall->loaderCommand, NoCommand);
    EXPECT_EQ(gStartDirectory, std::filesystem::path(REELSTACK_RUNTIME_DIR).string());

    // GL: the main context current here, the shader program built from the
    // runtime folder's files, the fixed drawing state on.
    EXPECT_NE(wall->mainRC, nullptr);
    EXPECT_NE(wall->subRC, nullptr);
    EXPECT_EQ(CurrentGlContextForTest(), wall->mainRC);
    ASSERT_NE(wall->programHolder, nullptr);
    EXPECT_TRUE(glIsProgram(*wall->programHolder));
    EXPECT_TRUE(glIsEnabled(GL_TEXTURE_2D));
    EXPECT_TRUE(glIsEnabled(GL_ALPHA_TEST));
    EXPECT_TRUE(glIsEnabled(GL_BLEND));
    GLint src = 0;
    GLint dst = 0;
    glGetIntegerv(GL_BLEND_SRC_RGB, &src);
    glGetIntegerv(GL_BLEND_DST_RGB, &dst);
    EXPECT_EQ(src, GL_SRC_ALPHA);
    EXPECT_EQ(dst, GL_ONE_MINUS_SRC_ALPHA);
    GLint alphaFunc = 0;
    glGetIntegerv(GL_ALPHA_TEST_FUNC, &alphaFunc);
    EXPECT_EQ(alphaFunc, GL_ALWAYS);
    GLint viewport[4] = {};
    glGetIntegerv(GL_VIEWPORT, viewport);
    EXPECT_EQ(viewport[2], 760);
    EXPECT_EQ(viewport[3], 600);

    // The loader runs: it takes a Flush and gives the word back.
    ASSERT_NE(wall->loaderThread, nullptr);
    PostLoaderCommand(wall, Flush);
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        {
            std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
            if (wall->loaderCommand == NoCommand) break;
        }
        ASSERT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3))
            << "the loader never took its command";
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

// ------------------------------------------------------------ the loop

// The injected clock: it moves only when a test or the UI thread's sleep
// moves it. The loader thread polls with the same sleep, so its sleeps stay
// real.
std::atomic<uint32_t> gNow{0};
std::atomic<int> gClockReads{0};
std::thread::id gUiThread;
std::mutex gSleepsMutex;
std::vector<uint32_t> gSleeps;

uint32_t FakeClock() {
    if (std::this_thread::get_id() == gUiThread) ++gClockReads;
    return gNow.load();
}

void FakeSleep(uint32_t ms) {
    if (std::this_thread::get_id() != gUiThread) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return;
    }
    std::lock_guard<std::mutex> lock(gSleepsMutex);
    gSleeps.push_back(ms);
    gNow += ms;
}

class MainLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        wall = Viewer();
        ASSERT_NE(wall, nullptr);
        ClearWall(wall);
        gUiThread = std::this_thread::get_id();
        SetClockForTest(FakeClock);
        SetSleepForTest(FakeSleep);
        Sleeps().clear();
        gClockReads = 0;
        // One image in one column, its single frame never due: every draw
        // adds 2 to its elapsed time, so the elapsed time counts the draws.
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        wall->columnCount = 1;
        wall->images.push_back(MakeSolidImage({0x336699FF}, {1000000}, 250, 100));
        wall->columns[0].push_back(0);
        wall->addInterval = -1000;
        wall->loaderCommand = NoCommand;
        wall->minimized = false;
        wall->playing = true;
    }

    void TearDown() override {
        {
            std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
            wall->playing = false;
            wall->minimized = false;
            wall->addInterval = 2000;
            wall->loaderCommand = NoCommand;
        }
        SetClockForTest(nullptr);
        SetSleepForTest(nullptr);
        ResetQuitForTest();
        ClearWall(wall);
        wall->columnCount = 0;
    }

    static std::vector<uint32_t>& Sleeps() { return gSleeps; }

    int Draws() const { return wall->images[0].frames[0].elapsed / 2; }

    // One pass with the wall mutex held throughout, so that the loader
    // cannot take a command the pass posts; the command is read and taken
    // back before the loader can see it.
    int32_t PassAndTakeCommand() {
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        EXPECT_TRUE(MainLoopPass(wall));
        int32_t command = wall->loaderCommand;
        wall->loaderCommand = NoCommand;
        return command;
    }

    // A pass at clock value now, with the last frame long enough ago that
    // the pacing does not sleep.
    int32_t AddTimerPassAt(uint32_t now) {
        gNow = now;
        wall->lastFrameTime = now - 20;
        return PassAndTakeCommand();
    }

    GifWall* wall = nullptr;
};

// Runs passes until a quit, posted from another thread after delayMs, ends
// the loop; returns the number of passes.
int PassesUntilWokenByQuit(GifWall* wall, int delayMs) {
    std::thread waker([delayMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(delayMs));
        PostQuit(0);
    });
    int passes = 0;
    while (MainLoopPass(wall)) ++passes;
    waker.join();
    ResetQuitForTest();
    return passes;
}

TEST_F(MainLoopTest, IdleOrMinimisedLoopWaitsWithoutClockSleepDrawOrCommand) {
    struct Row {
        const char* what;
        bool playing;
        bool minimized;
    };
    const Row rows[] = {{"no wall", false, false}, {"minimised", true, true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        wall->playing = row.playing;
        wall->minimized = row.minimized;
        wall->addInterval = 1000;
        wall->lastAddTime = 0;
        gNow = 500000;  // the interval ran out long ago
        wall->lastFrameTime = 123;
        gClockReads = 0;
        const int passes = PassesUntilWokenByQuit(wall, 150);
        EXPECT_LT(passes, 100) << "an idle loop must wait for events, not spin";
        EXPECT_EQ(gClockReads.load(), 0);
        EXPECT_TRUE(Sleeps().empty());
        EXPECT_EQ(Draws(), 0);
        EXPECT_EQ(wall->loaderCommand, NoCommand);
        EXPECT_EQ(wall->lastFrameTime, 123u);
        EXPECT_EQ(wall->lastAddTime, 0u);
    }
    // Restored: the first frame adds at once, the interval having run out.
    wall->minimized = false;
    EXPECT_EQ(PassAndTakeCommand(), AddNext);
    EXPECT_EQ(wall->lastAddTime, 500000u);
    EXPECT_EQ(Draws(), 1);
}

TEST_F(MainLoopTest, FramesAreTwentyMillisecondsApartAndSleepOnlyTheRemainder) {
    struct Row {
        uint32_t lastFrame;
        uint32_t now;
        int32_t sleep;  // -1: none
    };
    const Row rows[] = {
        {1000, 1000, 20}, {1000, 1001, 19}, {1000, 1019, 1},       {1000, 1020, -1},
        {1000, 1021, -1}, {1000, 1500, -1}, {0xFFFFFFFA, 4, 10},   {0xFFFFFFF0, 4, -1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::to_string(row.lastFrame) + " -> " + std::to_string(row.now));
        Sleeps().clear();
        wall->lastFrameTime = row.lastFrame;
        gNow = row.now;
        const int drawsBefore = Draws();
        EXPECT_EQ(PassAndTakeCommand(), NoCommand);
        if (row.sleep < 0) {
            EXPECT_TRUE(Sleeps().empty());
            EXPECT_EQ(wall->lastFrameTime, row.now);
        } else {
            EXPECT_EQ(Sleeps(), std::vector<uint32_t>{static_cast<uint32_t>(row.sleep)});
            EXPECT_EQ(wall->lastFrameTime, row.now + static_cast<uint32_t>(row.sleep));
        }
        EXPECT_EQ(Draws(), drawsBefore + 1) << "a playing pass draws one frame";
    }

    // A run of frames with work of varying length between them.
    const uint32_t work[] = {0, 5, 19, 20, 21, 3, 45, 0, 0, 12, 30, 1};
    Sleeps().clear();
    gNow = 77;
    wall->lastFrameTime = 77;
    uint32_t previous = wall->lastFrameTime;
    for (uint32_t w : work) {
        gNow += w;
        const size_t sleepsBefore = Sleeps().size();
        PassAndTakeCommand();
        const uint32_t gap = wall->lastFrameTime - previous;
        EXPECT_EQ(gap, w < 20 ? 20u : w) << "work " << w;
        EXPECT_EQ(Sleeps().size() - sleepsBefore, w < 20 ? 1u : 0u);
        previous = wall->lastFrameTime;
    }
}

TEST_F(MainLoopTest, AddNextIsPostedWhenTheIntervalHasRunOut) {
    wall->addInterval = 2000;
    wall->lastAddTime = 10000;
    EXPECT_EQ(AddTimerPassAt(11999), NoCommand);
    EXPECT_EQ(wall->lastAddTime, 10000u);
    EXPECT_EQ(AddTimerPassAt(12000), AddNext);
    EXPECT_EQ(wall->lastAddTime, 12000u);
    // A late add is not made up: the next one counts from the late one.
    EXPECT_EQ(AddTimerPassAt(14500), AddNext);
    EXPECT_EQ(AddTimerPassAt(16499), NoCommand);
    EXPECT_EQ(AddTimerPassAt(16500), AddNext);

    // A command still waiting is overwritten.
    wall->loaderCommand = Flush;
    EXPECT_EQ(AddTimerPassAt(18500), AddNext);
}

TEST_F(MainLoopTest, StoppedIntervalNeverAddsAndAPositiveOneResumes) {
    TriggerMenuCommandForTest(300);  // 停止
    ASSERT_LT(wall->addInterval, 0);
    wall->lastAddTime = 1000;
    for (uint32_t now : {1000u, 5000u, 100000u, 0x7FFFFFFFu, 0xFFFFFFF0u, 5u}) {
        EXPECT_EQ(AddTimerPassAt(now), NoCommand) << now;
        EXPECT_EQ(wall->lastAddTime, 1000u) << "untouched while stopped, even across a wrap";
    }
    TriggerMenuCommandForTest(301);  // 1秒
    ASSERT_EQ(wall->addInterval, 1000);
    EXPECT_EQ(AddTimerPassAt(1999), NoCommand);
    EXPECT_EQ(AddTimerPassAt(2000), AddNext);
    EXPECT_EQ(wall->lastAddTime, 2000u);
    TriggerMenuCommandForTest(302);  // back to 2秒
}

TEST_F(MainLoopTest, AddAfterAClockWrapComesAboutOneIntervalAfterThePreviousAdd) {
    wall->addInterval = 2000;
    const uint32_t previousAdd = 0xFFFFFCE0u;  // 800 ms before the wrap
    wall->lastAddTime = previousAdd;
    EXPECT_EQ(AddTimerPassAt(previousAdd + 500), NoCommand);
    EXPECT_EQ(wall->lastAddTime, previousAdd);

    // The clock wraps: 1000 ms after the add it reads 200.
    EXPECT_EQ(static_cast<uint32_t>(previousAdd + 1000), 200u);
    EXPECT_EQ(AddTimerPassAt(previousAdd + 1000), NoCommand);
    EXPECT_EQ(wall->lastAddTime, static_cast<uint64_t>(previousAdd) - 0xFFFFFFFFull)
        << "corrected by 0xFFFFFFFF, once";

    uint32_t addedAt = 0;
    for (uint32_t now = previousAdd + 1001; now != previousAdd + 2100; ++now) {
        if (AddTimerPassAt(now) == AddNext) {
            addedAt = now;
            break;
        }
    }
    ASSERT_NE(addedAt, 0u) << "no add within 2100 ms";
    const uint32_t gap = addedAt - previousAdd;
    EXPECT_GE(gap, 2000u);
    EXPECT_LE(gap, 2001u);
    EXPECT_EQ(wall->lastAddTime, addedAt);

    // After the wrap the timer runs as before.
    EXPECT_EQ(AddTimerPassAt(addedAt + 1999), NoCommand);
    EXPECT_EQ(AddTimerPassAt(addedAt + 2000), AddNext);
}

}  // namespace
