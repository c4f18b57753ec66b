// The millisecond clock and sleeps, real and replaced.
#include "platform/platform.h"

#include <gtest/gtest.h>

#include <chrono>

namespace {

class ClockTest : public ::testing::Test {
protected:
    void TearDown() override {
        SetClockForTest(nullptr);
        SetSleepForTest(nullptr);
        SetClockOffsetForTest(0);
    }
};

TEST_F(ClockTest, RealClockCountsMillisecondsOfRealSleeps) {
    const uint32_t start = TimeMs();
    SleepMs(40);
    const uint32_t elapsed = TimeMs() - start;
    EXPECT_GE(elapsed, 40u);
    EXPECT_LT(elapsed, 1000u);
}

TEST_F(ClockTest, RealClockWrapsAt32Bits) {
    // Start a little before 2^32; a clock kept in more bits, or one that
    // stops at the top, gives a later reading that is not smaller.
    SetClockOffsetForTest(0u - TimeMs() - 20u);
    const uint32_t before = TimeMs();
    ASSERT_GE(before, 0xFFFFFFFFu - 25u);
    SleepMs(60);
    const uint32_t after = TimeMs();
    EXPECT_LT(after, before);
    EXPECT_GE(static_cast<uint32_t>(after - before), 60u);
    EXPECT_LT(static_cast<uint32_t>(after - before), 1000u);
}

TEST_F(ClockTest, SeamsReplaceTheClockAndTheSleep) {
    static uint32_t fake = 0xFFFFFFF0u;
    static uint32_t asked = 0;
    SetClockForTest([] { return fake; });
    SetSleepForTest([](uint32_t ms) { asked += ms; });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(TimeMs(), 0xFFFFFFF0u);
    SleepMs(5000);
    fake += 0x20;
    EXPECT_EQ(TimeMs(), 0x10u);
    EXPECT_EQ(asked, 5000u);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1000));

    // Null brings the real clock back: milliseconds of the monotonic clock.
    SetClockForTest(nullptr);
    const auto steady = static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                            std::chrono::steady_clock::now().time_since_epoch())
                            .count());
    EXPECT_LT(static_cast<uint32_t>(TimeMs() - steady), 100u);
}

}  // namespace
