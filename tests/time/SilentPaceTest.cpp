#include "time/SilentPace.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>

namespace {

constexpr int kRate = 48000;
constexpr int kBuffer = 1024;

// A driver that takes a buffer every `period` seconds from `t` on, `count`
// times: the frames taken, extras included.
int64_t drive(SilentPace& pace, double& t, double period, int count)
{
    int64_t total = 0;
    for (int i = 0; i < count; ++i, t += period)
        total += kBuffer + pace.extra(t, kBuffer);
    return total;
}

TEST(SilentPace, ASlowDriverIsBroughtUpToTheClockAndAPunctualOneIsLeftAlone)
{
    // Woken 30 ms apart for 21.3 ms buffers: counted by buffers alone, 3 s
    // would play as 2.1 s.
    SilentPace slow(kRate);
    double t = 100.0;
    const int64_t slowTotal = drive(slow, t, 0.030, 101);
    EXPECT_NEAR(double(slowTotal), 3.0 * kRate, kBuffer);

    // On time, or a little early: never more than the buffers themselves.
    SilentPace punctual(kRate);
    t = 5.0;
    EXPECT_EQ(drive(punctual, t, double(kBuffer) / kRate, 200), 200 * kBuffer);
    t = 5.0;
    SilentPace early(kRate);
    EXPECT_EQ(drive(early, t, 0.020, 200), 200 * kBuffer);
}

TEST(SilentPace, AStopOrAPauseIsNotCaughtUp)
{
    SilentPace pace(kRate);
    double t = 0.0;
    drive(pace, t, 0.030, 10);
    // Stopped in a debugger for 5 s: no burst of 5 s of music, then on at
    // the clock's pace again from there.
    t += 5.0;
    EXPECT_EQ(pace.extra(t, kBuffer), 0);
    t += 0.030;
    const int64_t after = drive(pace, t, 0.030, 100);
    EXPECT_NEAR(double(after), 100 * 0.030 * kRate, 2 * kBuffer);

    // Paused for 0.5 s (less than the stop limit): the pause is not played.
    pace.restart();
    t += 0.5;
    EXPECT_EQ(pace.extra(t, kBuffer), 0);
}

} // namespace
