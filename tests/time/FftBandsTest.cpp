#include "time/FftBands.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

TEST(SpectrumBand, CoversItsBinsAndNeverLeavesTheSpectrum)
{
    EXPECT_EQ(bandBins(0.5f, 0.1f).lo, 409);
    EXPECT_EQ(bandBins(0.5f, 0.1f).hi, 614);
    EXPECT_EQ(bandBins(0.3f, 0.0f).lo, int(0.3f * 1024));
    EXPECT_EQ(bandBins(0.3f, 0.0f).hi, int(0.3f * 1024));

    std::vector<float> spectrum(kSpectrumBins, 2.0f);
    BandSums sums;
    sums.build(spectrum.data());
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    for (float freq : {-5.0f, 0.0f, 0.5f, 1.5f, 1e30f, nan, inf, -inf}) {
        for (float width : {-0.1f, 0.0f, 0.5f, 2.0f, nan, inf}) {
            const BandBins bins = bandBins(freq, clampUnit(width));
            EXPECT_TRUE(bins.lo >= 0 && bins.lo <= bins.hi && bins.hi < kSpectrumBins)
                << freq << " " << width << ": " << bins.lo << ".." << bins.hi;
            EXPECT_FLOAT_EQ(sums.rawValue(bins), 2000.0f); // the mean, times 1000
        }
    }
}

TEST(SpectrumSmoothing, FollowsTheRealFrameRateAndHoldsOnAStepBack)
{
    // Attack 0.5: half the way per 60 Hz frame, three quarters per 30 Hz one.
    EXPECT_FLOAT_EQ(smoothBand(0.0f, 100.0f, bandSmoothing(0.9f, 0.5f, 16.67f)), 50.0f);
    EXPECT_FLOAT_EQ(smoothBand(0.0f, 100.0f, bandSmoothing(0.9f, 0.5f, 33.34f)), 75.0f);
    EXPECT_FLOAT_EQ(smoothBand(100.0f, 0.0f, bandSmoothing(0.9f, 0.5f, 16.67f)), 90.0f); // falling
    for (float dt : {-500.0f, 0.0f}) {
        for (float k : {0.0f, 0.5f, 7.0f, std::numeric_limits<float>::quiet_NaN()})
            EXPECT_EQ(smoothBand(42.0f, 100.0f, bandSmoothing(k, k, dt)), 42.0f) << dt << " " << k;
    }
}

TEST(SpectrumLogRemap, SpreadsEachLinearBinUpToTheNext)
{
    std::vector<float> raw(kSpectrumBins, 0.0f);
    std::vector<float> logSpectrum(kSpectrumBins, -1.0f);
    raw[10] = 1.0f;
    logRemapSpectrum(raw.data(), logSpectrum.data());
    // Linear bin 10 lands at ln 10 / ln 1024 * 1024 = 340.2, bin 11 at 354.2.
    const double p = std::log(10.0) / std::log(1024.0) * 1024.0;
    const float v = float(p / 1024.0 * std::log(1014.0) / 128.0);
    for (int k = 0; k < kSpectrumBins; ++k)
        ASSERT_NEAR(logSpectrum[size_t(k)], k >= 340 && k <= 353 ? v : 0.0f, 1e-6f) << "bin " << k;

    // Bin 0 lies at minus infinity on the axis: still no NaN anywhere.
    std::fill(raw.begin(), raw.end(), 1.0f);
    logRemapSpectrum(raw.data(), logSpectrum.data());
    for (int k = 0; k < kSpectrumBins; ++k)
        ASSERT_TRUE(std::isfinite(logSpectrum[size_t(k)])) << "bin " << k;
}

TEST(SpectrumHistory, AnswersWithTheValueNearestInTime)
{
    BandHistory history;
    for (int frame = 1; frame <= BandHistory::kSlots + 5; ++frame)
        history.push(1000.0f + 16.0f * float(frame), float(frame));
    EXPECT_EQ(history.pos, 4);
    EXPECT_EQ(history.filled, BandHistory::kSlots);
    EXPECT_EQ(history.nearest(1000.0f + 16.0f * 100.0f + 6.0f), 100.0f);
    EXPECT_EQ(history.nearest(1000.0f + 16.0f * 100.0f + 8.0f), 100.0f); // a tie: the first slot
    EXPECT_EQ(history.nearest(40000.0f), float(BandHistory::kSlots + 5));
    EXPECT_EQ(history.nearest(0.0f), 6.0f); // the oldest left

    // Before the ring is full, unwritten slots answer 0 near time 0.
    BandHistory young;
    young.push(500.0f, 3.0f);
    EXPECT_EQ(young.nearest(100.0f), 0.0f);
}

} // namespace
