#include "time/SilentPace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

constexpr int kRate = 48000;
constexpr int kBuffer = 1024;

// A driver that asks for a buffer every `period` seconds from `t` on,
// `count` times: the frames of music taken, extras included.
int64_t drive(SilentPace& pace, double& t, double period, int count)
{
    int64_t total = 0;
    for (int i = 0; i < count; ++i, t += period)
        total += pace.take(t, kBuffer);
    return total;
}

TEST(SilentPace, TheMusicKeepsToTheClockWhetherTheDriverIsSlowPunctualOrEarly)
{
    // Each run ends with the music at the clock plus the buffer just taken,
    // counted by buffers alone: woken 30 ms apart for 21.3 ms buffers, 3 s
    // would play as 2.1 s; woken 21 ms apart (the driver's whole-millisecond
    // sleeps), 3 s would play as 3.05 s, and ahead by a second an hour.
    for (double period : {0.030, double(kBuffer) / kRate, 0.021, 0.020}) {
        SCOPED_TRACE(period);
        SilentPace pace(kRate);
        double t = 100.0;
        const int count = int(std::lround(3.0 / period));
        const int64_t total = drive(pace, t, period, count + 1);
        EXPECT_NEAR(double(total), count * period * kRate + kBuffer, 2.0);
    }
}

TEST(SilentPace, AStopOrAPauseIsNotCaughtUp)
{
    SilentPace pace(kRate);
    double t = 0.0;
    drive(pace, t, 0.030, 10);
    // Stopped in a debugger for 5 s: no burst of 5 s of music, then on at
    // the clock's pace again from there.
    t += 5.0;
    EXPECT_EQ(pace.take(t, kBuffer), kBuffer);
    t += 0.030;
    const int64_t after = drive(pace, t, 0.030, 100);
    EXPECT_NEAR(double(after), 100 * 0.030 * kRate, 2 * kBuffer);

    // Paused for 0.5 s (less than the stop limit): the pause is not played.
    pace.restart();
    t += 0.5;
    EXPECT_EQ(pace.take(t, kBuffer), kBuffer);
}

} // namespace
