// The millisecond clock and sleeps, each replaceable by a test.
#include <chrono>
#include <thread>

#include "platform/platform.h"
#include "platform/seams.h"

uint32_t TimeMs() {
    if (auto clock = seams::clock.load()) return clock();
    // Like the multimedia timer: milliseconds since the system started,
    // kept in 32 bits, so it wraps after about 49.7 days and callers
    // subtract in unsigned arithmetic.
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now().time_since_epoch());
    return static_cast<uint32_t>(static_cast<uint64_t>(ms.count())) + seams::clockOffset.load();
}

void SleepMs(uint32_t ms) {
    if (auto sleep = seams::sleep.load()) {
        sleep(ms);
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
