// The millisecond clock and sleeps, each replaceable by a test.
#include "platform/platform.h"

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using ClockFn = uint32_t (*)();
using SleepFn = void (*)(uint32_t);

// Read on both threads (the loader sleeps between its polls), so atomic.
std::atomic<ClockFn> gClock{nullptr};
std::atomic<SleepFn> gSleep{nullptr};
std::atomic<uint32_t> gClockOffset{0};

}  // namespace

uint32_t TimeMs() {
    if (ClockFn clock = gClock.load()) return clock();
    // Like the multimedia timer: milliseconds since the system started,
    // kept in 32 bits, so it wraps after about 49.7 days and callers
    // subtract in unsigned arithmetic.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(static_cast<uint64_t>(ms.count())) + gClockOffset.load();
}

void SleepMs(uint32_t ms) {
    if (SleepFn sleep = gSleep.load()) {
        sleep(ms);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void SetClockForTest(uint32_t (*clock)()) {
    gClock.store(clock);
}

void SetSleepForTest(void (*sleep)(uint32_t ms)) {
    gSleep.store(sleep);
}

void SetClockOffsetForTest(uint32_t offset) {
    gClockOffset.store(offset);
}
