// The render thread's frame times over the last second, as the edit view's
// status strip shows them, and the note of the last reload beside them.
#include "state/FrameTimings.h"
#include "state/LastReload.h"

#include "support/FreshState.h"

#include <gtest/gtest.h>

TEST(FrameTimings, NothingBeforeTheFirstFrame)
{
    FrameTimings timings;
    const FrameTimingSummary s = timings.lastSecond();
    EXPECT_EQ(s.framesPerSecond, 0);
    EXPECT_EQ(s.meanMs, 0.0f);
    EXPECT_EQ(s.worstMs, 0.0f);
}

TEST(FrameTimings, MeanAndWorstOfTheFramesOfTheLastSecond)
{
    FrameTimings timings;
    // Frames that took 10, 30, 20 and 40 ms, ending one after the other.
    timings.add(10, 10);
    timings.add(40, 30);
    timings.add(60, 20);
    timings.add(100, 40);
    FrameTimingSummary s = timings.lastSecond();
    EXPECT_EQ(s.framesPerSecond, 4);
    EXPECT_FLOAT_EQ(s.meanMs, 25.0f);
    EXPECT_FLOAT_EQ(s.worstMs, 40.0f);

    // A long frame ending at 1060: the frames that ended a second or more
    // before it (10, 40, and 60 exactly at the edge) are out.
    timings.add(1060, 960);
    s = timings.lastSecond();
    EXPECT_EQ(s.framesPerSecond, 2);
    EXPECT_FLOAT_EQ(s.meanMs, 500.0f);
    EXPECT_FLOAT_EQ(s.worstMs, 960.0f);
}

TEST(FrameTimings, MoreFramesThanTheRingHoldsCountFromItsSpan)
{
    FrameTimings timings;
    // 4000 frames a second for 1.5 s: the ring holds half a second of them.
    for (int i = 1; i <= 6000; ++i)
        timings.add(i * 0.25, i % 100 == 0 ? 2.0f : 0.25f);
    const FrameTimingSummary s = timings.lastSecond();
    EXPECT_EQ(timings.count(), FrameTimings::kCapacity);
    EXPECT_NEAR(s.framesPerSecond, 4000, 2);
    EXPECT_FLOAT_EQ(s.worstMs, 2.0f);
    EXPECT_NEAR(s.meanMs, 0.25f + 1.75f / 100.0f, 0.002f);

    timings.clear();
    EXPECT_EQ(timings.lastSecond().framesPerSecond, 0);
}

TEST(LastReload, NotesWhatWasReloadedAndWhen)
{
    resetProcessState();
    EXPECT_EQ(lastReload().count, 0u);
    EXPECT_EQ(lastReload().what, "");
    noteReload("all skenes");
    noteReload("skene intro");
    EXPECT_EQ(lastReload().count, 2u);
    EXPECT_EQ(lastReload().what, "skene intro");
    EXPECT_GT(lastReload().atNs, 0);
}
