// The steady frame allocates nothing of ours: the showcase's frames played
// as a capture plays them, every heap block of the rendering thread counted
// and sorted by its call stack (the benchmark bench_showcase_frames counts
// the same, over more frames).
#include "support/alloc/FrameAllocations.h"

#include <gtest/gtest.h>

TEST(FrameAllocations, TheShowcasesSteadyFramesAllocateNothingOfOurs)
{
    // A few frames settle the caches (shader uniform locations, text
    // buffers, the first particle seed); then every frame is alike.
    const FrameAllocations counted = countShowcaseFrameAllocations(24, 12);
    ASSERT_TRUE(counted.ran);
    EXPECT_EQ(counted.ours, 0.0) << formatSites("ours", counted.ourSites, 12);
    // The count sees the frame at all: the software rasteriser allocates in
    // every one.
    EXPECT_GT(counted.glDriver, 0.0) << "a frame: " << counted.qtCalled << " Qt's, " << counted.qmlSignals
                                     << " the bindings', " << counted.outsideHook << " outside the frame, "
                                     << counted.unsorted << " unsorted";
}
