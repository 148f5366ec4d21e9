#include "time/Stopwatch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <thread>

namespace {

TEST(Stopwatch, MeasuresElapsedTimeAndRestartsFromZero)
{
    Stopwatch watch;
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    const double first = watch.elapsed_ms();
    EXPECT_GE(first, 30.0);
    EXPECT_LT(first, 1000.0);

    watch.restart();
    const double afterRestart = watch.elapsed_ms();
    EXPECT_GE(afterRestart, 0.0);
    EXPECT_LT(afterRestart, first);
}

TEST(Stopwatch, HasSubMillisecondResolution)
{
    Stopwatch watch;
    // Within 50 ms of busy reading, some reading must fall strictly between
    // two whole milliseconds.
    bool fractional = false;
    while (!fractional && watch.elapsed_ms() < 50.0) {
        const double t = watch.elapsed_ms();
        fractional = t != double(int64_t(t));
    }
    EXPECT_TRUE(fractional);
}

} // namespace
