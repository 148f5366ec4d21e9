#include "time/NoiseSignal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

namespace {

TEST(Mt19937, GivesTheStandardSequenceForAnySeed)
{
    // Past the first regeneration of the state and into the second.
    for (uint32_t seed : {0u, 1u, 5489u, 12345u, uint32_t(-1), uint32_t(-7)}) {
        Mt19937 ours(seed);
        std::mt19937 standard(seed);
        for (int i = 0; i < 1500; ++i)
            ASSERT_EQ(ours.draw(), standard()) << "seed " << seed << " draw " << i;
    }
    // The standard's own check value: the 10000th draw of the default seed.
    Mt19937 fresh;
    for (int i = 1; i < 10000; ++i)
        fresh.draw();
    EXPECT_EQ(fresh.draw(), 4123659995u);
}

// The first n draws of seed mapped to -1..1.
std::vector<float> units(uint32_t seed, int n)
{
    std::mt19937 standard(seed);
    std::vector<float> out;
    for (int i = 0; i < n; ++i)
        out.push_back(noiseUnit(standard()));
    return out;
}

TEST(NoiseSignal, StepsOncePerPeriodOfDemoTime)
{
    NoiseSignal noise;
    noise.reseed(42);
    const std::vector<float> u = units(42, 12);
    EXPECT_EQ(noiseUnit(0), -1.0f);
    EXPECT_EQ(noiseUnit(0xFFFFFFFFu), 1.0f);

    // At 2 per second, without interpolation, the value is the current
    // draw of the window for the whole 500 ms of its period.
    float value = 0.0f;
    for (int ms = 0; ms < 4000; ms += 50) {
        value = noise.step(ms, 2.0f, NoiseSignal::None, value);
        ASSERT_EQ(value, u[size_t(1 + ms / 500)]) << ms << " ms";
    }
    // A paused clock repeats its time: nothing moves.
    const float held = value;
    for (int frame = 0; frame < 5; ++frame)
        EXPECT_EQ(noise.step(3950.0, 2.0f, NoiseSignal::None, value), held);
}

TEST(NoiseSignal, InterpolatesBetweenTheCurrentAndTheNextValue)
{
    NoiseSignal noise;
    noise.reseed(7);
    const std::vector<float> u = units(7, 4); // p-1, p0, p1, p2
    const float mean = (u[1] + u[2]) / 2;
    EXPECT_FLOAT_EQ(noise.step(250.0, 2.0f, NoiseSignal::Linear, 0.0f), mean);
    EXPECT_FLOAT_EQ(noise.step(250.0, 2.0f, NoiseSignal::Smoothstep, 0.0f), mean);
    // Cubic: the Hermite curve with full differences as tangents, at s = 1/2.
    const float cubic = 0.5f * u[1] + 0.125f * (u[2] - u[0]) + 0.5f * u[2] - 0.125f * (u[3] - u[1]);
    EXPECT_NEAR(noise.step(250.0, 2.0f, NoiseSignal::Cubic, 0.0f), cubic, 1e-6f);
    // Another interpolation number holds the value.
    EXPECT_EQ(noise.step(250.0, 2.0f, 4, 0.25f), 0.25f);

    // The curves meet at the period's end: just before it, they reach the
    // next value, which is where the next period starts.
    for (int mode : {NoiseSignal::Linear, NoiseSignal::Smoothstep, NoiseSignal::Cubic}) {
        NoiseSignal n;
        n.reseed(7);
        EXPECT_NEAR(n.step(499.999, 2.0f, mode, 0.0f), u[2], 1e-4f) << mode;
        EXPECT_FLOAT_EQ(n.step(500.0, 2.0f, mode, 0.0f), u[2]) << mode;
    }
}

TEST(NoiseSignal, AJumpForwardDrawsAtMostFourValues)
{
    NoiseSignal noise;
    noise.reseed(3);
    std::mt19937 standard(3);
    std::vector<uint32_t> draws;
    for (int i = 0; i < 16; ++i)
        draws.push_back(standard());

    noise.step(100.0, 2.0f, NoiseSignal::Linear, 0.0f);
    // Ten periods on: four new values, and the phase where the time says.
    const float value = noise.step(100.0 + 10 * 500.0, 2.0f, NoiseSignal::Linear, 0.0f);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(noise.window[i], draws[size_t(4 + i)]) << i;
    EXPECT_DOUBLE_EQ(noise.lastTickMs, 5000.0);
    const float p0 = noiseUnit(draws[5]);
    const float p1 = noiseUnit(draws[6]);
    EXPECT_NEAR(value, p0 + (p1 - p0) * 0.2f, 1e-6f);
}

TEST(NoiseSignal, GoingBackKeepsTheValuesAndMovesOnlyThePhase)
{
    NoiseSignal noise;
    noise.reseed(11);
    float value = noise.step(1100.0, 2.0f, NoiseSignal::Linear, 0.0f); // two periods in, phase 0.2
    uint32_t window[4];
    std::copy(std::begin(noise.window), std::end(noise.window), window);
    const float p0 = noiseUnit(window[1]);
    const float p1 = noiseUnit(window[2]);
    EXPECT_NEAR(value, p0 + (p1 - p0) * 0.2f, 1e-6f);

    // 200 ms back lands at phase 0.8 of the period before, on the same
    // values.
    value = noise.step(900.0, 2.0f, NoiseSignal::Linear, value);
    EXPECT_TRUE(std::equal(std::begin(window), std::end(window), std::begin(noise.window)));
    EXPECT_NEAR(value, p0 + (p1 - p0) * 0.8f, 1e-6f);
    // And it runs on from there: 100 ms later a new value starts.
    EXPECT_FLOAT_EQ(noise.step(1000.0, 2.0f, NoiseSignal::Linear, value), p1);
    EXPECT_EQ(noise.window[1], window[2]);
}

TEST(NoiseSignal, AFrequencyWithoutAPeriodHoldsTheValue)
{
    const float bad[] = {0.0f, -2.0f, std::numeric_limits<float>::quiet_NaN(),
                         std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
    for (float freq : bad) {
        NoiseSignal noise;
        noise.reseed(5);
        const NoiseSignal before = noise;
        for (double t : {0.0, 1000.0, 1e9, -50.0})
            EXPECT_EQ(noise.step(t, freq, NoiseSignal::Cubic, 0.5f), 0.5f) << freq;
        EXPECT_TRUE(std::equal(std::begin(before.window), std::end(before.window), std::begin(noise.window)));
        EXPECT_EQ(noise.lastTickMs, before.lastTickMs);
    }
    // A huge frequency is still a period: the value stays a number.
    NoiseSignal fast;
    fast.reseed(5);
    const float v = fast.step(1e6, 3e38f, NoiseSignal::Cubic, 0.0f);
    EXPECT_TRUE(std::isfinite(v));
}

} // namespace
