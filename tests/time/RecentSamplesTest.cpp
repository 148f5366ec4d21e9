#include "time/RecentSamples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

namespace {

// Stereo frames numbered from first: left = n, right = -n.
std::vector<float> frames(int first, int count)
{
    std::vector<float> f;
    for (int n = first; n < first + count; ++n) {
        f.push_back(float(n));
        f.push_back(float(-n));
    }
    return f;
}

TEST(RecentSamples, KeepsTheNewestSamplesOfEachChannelAcrossTheWrap)
{
    RecentSamples recent;
    const int total = RecentSamples::kCapacity + 1000;
    for (int first = 1; first <= total; first += 700) {
        const int count = std::min(700, total - first + 1);
        recent.push(frames(first, count).data(), count, 2);
    }

    std::vector<float> out(2048);
    ASSERT_TRUE(recent.latest(0, 2048, out.data()));
    EXPECT_EQ(out.front(), float(total - 2047));
    EXPECT_EQ(out.back(), float(total));
    ASSERT_TRUE(recent.latest(1, 2048, out.data()));
    EXPECT_EQ(out.back(), float(-total));

    std::vector<float> all(RecentSamples::kCapacity);
    ASSERT_TRUE(recent.latest(0, RecentSamples::kCapacity, all.data()));
    for (int i = 0; i < RecentSamples::kCapacity; ++i)
        ASSERT_EQ(all[size_t(i)], float(total - RecentSamples::kCapacity + 1 + i));
}

TEST(RecentSamples, ZerosBeforeAnythingWasPlayedAndOneHugePushKeepsItsTail)
{
    RecentSamples recent;
    std::vector<float> out(4, -1.0f);
    EXPECT_FALSE(recent.latest(0, 4, out.data())); // no channels yet
    EXPECT_EQ(out[0], -1.0f);

    recent.push(frames(1, 2).data(), 2, 2);
    ASSERT_TRUE(recent.latest(0, 4, out.data()));
    EXPECT_EQ(out, (std::vector<float>{0.0f, 0.0f, 1.0f, 2.0f}));
    EXPECT_FALSE(recent.latest(2, 4, out.data()));
    EXPECT_FALSE(recent.latest(0, RecentSamples::kCapacity + 1, out.data()));

    const int huge = 3 * RecentSamples::kCapacity + 5;
    recent.push(frames(1, huge).data(), huge, 2);
    ASSERT_TRUE(recent.latest(0, 4, out.data()));
    EXPECT_EQ(out.back(), float(huge));

    recent.clear();
    ASSERT_TRUE(recent.latest(0, 4, out.data()));
    EXPECT_EQ(out, (std::vector<float>(4, 0.0f)));
}

} // namespace
