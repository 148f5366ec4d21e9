#include "time/NoiseSignal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

TEST(NoiseSignal, DrawsTheStandardSequenceForAnySeed)
{
    for (uint32_t seed : {0u, 5489u, 12345u, uint32_t(-7)}) {
        NoiseSignal noise;
        noise.reseed(seed);
        std::mt19937 standard(seed);
        for (uint32_t r : noise.window)
            ASSERT_EQ(r, standard()) << "seed " << seed;
        // A period a step: each step draws the next value.
        for (int i = 1; i <= 1500; ++i) { // past the first regeneration
            noise.step(i * 1000.0, 1.0f, NoiseSignal::None, 0.0f);
            ASSERT_EQ(noise.window[3], standard()) << "seed " << seed << " draw " << i + 4;
        }
    }

    // The value the standard requires of the 10,000th draw from the
    // default seed: the sequence is the one every demo was made with.
    NoiseSignal noise;
    noise.reseed(5489u);
    for (int i = 1; i <= 10000 - 4; ++i)
        noise.step(i * 1000.0, 1.0f, NoiseSignal::None, 0.0f);
    EXPECT_EQ(noise.window[3], 4123659995u);
}

// The first 16 draws of seed.
std::vector<uint32_t> draws(uint32_t seed)
{
    std::mt19937 standard(seed);
    std::vector<uint32_t> out(16);
    for (uint32_t& r : out)
        r = standard();
    return out;
}

TEST(NoiseSignal, StepsOncePerPeriodAndInterpolatesWithinIt)
{
    NoiseSignal noise;
    noise.reseed(42);
    const std::vector<uint32_t> r = draws(42);
    for (int ms = 0; ms < 4000; ms += 50) // 2 a second: the current draw for 500 ms
        ASSERT_EQ(noise.step(ms, 2.0f, NoiseSignal::None, 0.0f), noiseUnit(r[size_t(1 + ms / 500)])) << ms;

    NoiseSignal halfway;
    halfway.reseed(7);
    const std::vector<uint32_t> s = draws(7);
    EXPECT_NEAR(halfway.step(250.0, 2.0f, NoiseSignal::Linear, 0.0f), (noiseUnit(s[1]) + noiseUnit(s[2])) / 2, 1e-6f);
    // Every curve reaches the next value at the period's end, where the
    // next period starts from it.
    for (int mode : {NoiseSignal::Linear, NoiseSignal::Smoothstep, NoiseSignal::Cubic}) {
        NoiseSignal n;
        n.reseed(7);
        EXPECT_NEAR(n.step(499.999, 2.0f, mode, 0.0f), noiseUnit(s[2]), 1e-4f) << mode;
        EXPECT_FLOAT_EQ(n.step(500.0, 2.0f, mode, 0.0f), noiseUnit(s[2])) << mode;
    }
}

TEST(NoiseSignal, JumpsForwardByFourValuesAtMostAndBackWithoutDrawing)
{
    NoiseSignal noise;
    noise.reseed(3);
    const std::vector<uint32_t> r = draws(3);
    noise.step(100.0, 2.0f, NoiseSignal::Linear, 0.0f);
    float value = noise.step(100.0 + 10 * 500.0, 2.0f, NoiseSignal::Linear, 0.0f); // ten periods
    EXPECT_TRUE(std::equal(std::begin(noise.window), std::end(noise.window), r.begin() + 4));
    const float p0 = noiseUnit(r[5]);
    const float p1 = noiseUnit(r[6]);
    EXPECT_NEAR(value, p0 + (p1 - p0) * 0.2f, 1e-6f);

    // 200 ms back: phase 0.8 of the period before, on the same values.
    value = noise.step(4900.0, 2.0f, NoiseSignal::Linear, value);
    EXPECT_TRUE(std::equal(std::begin(noise.window), std::end(noise.window), r.begin() + 4));
    EXPECT_NEAR(value, p0 + (p1 - p0) * 0.8f, 1e-6f);
    EXPECT_FLOAT_EQ(noise.step(5000.0, 2.0f, NoiseSignal::Linear, value), p1); // and on from there
}

TEST(NoiseSignal, AFrequencyWithoutAPeriodHoldsTheValue)
{
    const float inf = std::numeric_limits<float>::infinity();
    for (float freq : {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(), inf, -inf}) {
        NoiseSignal noise;
        noise.reseed(5);
        for (double t : {1000.0, 1e9, -50.0})
            EXPECT_EQ(noise.step(t, freq, NoiseSignal::Cubic, 0.5f), 0.5f) << freq;
        EXPECT_TRUE(std::equal(std::begin(noise.window), std::end(noise.window), draws(5).begin()));
    }
    NoiseSignal fast; // a huge frequency still has a period
    EXPECT_TRUE(std::isfinite(fast.step(1e6, 3e38f, NoiseSignal::Cubic, 0.0f)));
}

} // namespace
