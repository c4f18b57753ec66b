// The main loop pass by pass with an injected clock and sleep.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "viewer_gl_util.h"

namespace {

// The clock moves only when a test or the UI thread's sleep moves it; the
// loader thread's sleeps stay real.
std::atomic<uint32_t> gNow{0};
std::atomic<int> gUiClockReads{0};
const std::thread::id gUiThread = std::this_thread::get_id();  // static start-up runs here
std::vector<uint32_t> gUiSleeps;

uint32_t FakeClock() {
    gUiClockReads += std::this_thread::get_id() == gUiThread;
    return gNow;
}

void FakeSleep(uint32_t ms) {
    if (std::this_thread::get_id() != gUiThread)
        return std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    gUiSleeps.push_back(ms);
    gNow += ms;
}

class MainLoopTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(wall, nullptr);
        ClearWall(wall);
        SetClockForTest(FakeClock);
        SetSleepForTest(FakeSleep);
        // One image whose only frame is never due: its elapsed time counts draws.
        wall->columnCount = 1;
        wall->images = {MakeImage({{1000000, 0, Tex({kRed})}})};
        wall->columns[0] = {0};
        wall->addInterval = -1;
        wall->playing = true;
    }
    int Draws() const { return wall->images[0].frames[0].elapsed / 2; }
    // One pass at clock now, sinceFrame ms after the last frame, holding the
    // mutex so that the loader cannot take the command the pass posts.
    int32_t PassAt(uint32_t now, uint32_t sinceFrame = 20) {
        std::lock_guard<std::recursive_mutex> lock(wall->wallMutex);
        gNow = now;
        wall->lastFrameTime = now - sinceFrame;
        EXPECT_TRUE(MainLoopPass(wall));
        return std::exchange(wall->loaderCommand, NoCommand);
    }
    GifWall* wall = StartTestViewer();
};

TEST_F(MainLoopTest, IdleOrMinimisedLoopWaitsForEventsWithoutClockOrDraw) {
    for (bool minimised : {false, true}) {  // no wall playing, or a minimised window
        wall->playing = wall->minimized = minimised;
        gUiClockReads = 0;
        std::thread waker([] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            PostQuit(0);
        });
        int passes = 0;
        while (MainLoopPass(wall)) ++passes;
        waker.join();
        ResetQuitForTest();
        EXPECT_LT(passes, 100) << "waits for events instead of spinning";
        EXPECT_EQ(gUiClockReads, 0) << "no pacing and no add timer";
        EXPECT_EQ(Draws(), 0);
    }
    wall->minimized = false;
}

TEST_F(MainLoopTest, FramesAreAtLeastTwentyMillisecondsApart) {
    // {now, since the last frame, sleep}, the last across the clock's wrap
    const uint32_t rows[][3] = {
        {1000, 0, 20}, {1019, 19, 1}, {1020, 20, 0}, {1500, 500, 0}, {4, 10, 10}};
    for (const auto& [now, since, sleep] : rows) {
        gUiSleeps.clear();
        EXPECT_EQ(PassAt(now, since), NoCommand);
        EXPECT_EQ(gUiSleeps, sleep ? std::vector{sleep} : std::vector<uint32_t>{}) << now;
        EXPECT_EQ(wall->lastFrameTime, now + sleep);
    }
    EXPECT_EQ(Draws(), 5);
}

TEST_F(MainLoopTest, StoppedTimerNeverAddsAndAResumedOneAddsWhenTheIntervalRanOut) {
    TriggerMenuCommandForTest(IdIntervalStop);
    wall->lastAddTime = 1000;
    for (uint32_t now : {5000u, 0x7FFFFFFFu, 0xFFFFFFF0u, 5u}) EXPECT_EQ(PassAt(now), NoCommand);
    EXPECT_EQ(wall->lastAddTime, 1000u);
    TriggerMenuCommandForTest(IdInterval1s);
    // {now, command, last add after}: a late add is not made up
    const uint32_t rows[][3] = {{1999, NoCommand, 1000},
                                {2000, AddNext, 2000},
                                {3500, AddNext, 3500},
                                {4499, NoCommand, 3500}};
    for (const auto& [now, command, lastAdd] : rows) {
        EXPECT_EQ(PassAt(now), int32_t(command)) << now;
        EXPECT_EQ(wall->lastAddTime, lastAdd) << now;
    }
}

TEST_F(MainLoopTest, AddTimerCorrectsTheLastAddByFFFFFFFFWhenTheClockWraps) {
    wall->addInterval = 2000;
    const uint32_t last = 0xFFFFFCE0u;  // 800 ms before the wrap
    wall->lastAddTime = last;
    EXPECT_EQ(PassAt(last + 1000), NoCommand);  // the clock reads 200
    EXPECT_EQ(wall->lastAddTime, last - 0xFFFFFFFFull);
    EXPECT_EQ(PassAt(last + 2000), NoCommand);
    EXPECT_EQ(PassAt(last + 2001), AddNext);
    EXPECT_EQ(wall->lastAddTime, uint32_t(last + 2001));
}

}  // namespace
