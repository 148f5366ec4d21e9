#include "time/SpectrumAnalysis.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

TEST(SpectrumBand, CoversTheBinsOfItsCentreAndHalfWidth)
{
    const BandBins wide = bandBins(0.5f, 0.1f);
    EXPECT_EQ(wide.lo, 409);
    EXPECT_EQ(wide.hi, 614);

    const BandBins single = bandBins(0.3f, 0.0f);
    EXPECT_EQ(single.lo, int(0.3f * 1024));
    EXPECT_EQ(single.hi, single.lo);

    // The mean of the band, times 1000: bins 409..614 hold 1, the rest 0,
    // so a band half inside reads half.
    std::vector<float> spectrum(kSpectrumBins, 0.0f);
    for (int i = wide.lo; i <= wide.hi; ++i)
        spectrum[size_t(i)] = 1.0f;
    BandSums sums;
    sums.build(spectrum.data());
    EXPECT_FLOAT_EQ(sums.rawValue(wide), 1000.0f);
    EXPECT_FLOAT_EQ(sums.rawValue({wide.hi + 1 - 103, wide.hi + 103}), 500.0f);
}

TEST(SpectrumBand, NeverLeavesTheSpectrumWhateverItsBoundsAre)
{
    std::vector<float> spectrum(kSpectrumBins, 2.0f);
    BandSums sums;
    sums.build(spectrum.data());
    const float values[] = {-5.0f, -0.1f, 0.0f, 0.5f, 1.0f, 1.5f, 1e30f, -1e30f, kNaN, kInf, -kInf};
    for (float freq : values) {
        for (float width : values) {
            const BandBins bins = bandBins(freq, clampUnit(width));
            EXPECT_TRUE(bins.lo >= 0 && bins.lo <= bins.hi && bins.hi < kSpectrumBins)
                << freq << " " << width << ": " << bins.lo << ".." << bins.hi;
            EXPECT_FLOAT_EQ(sums.rawValue(bins), 2000.0f);
        }
    }
    EXPECT_EQ(clampUnit(kNaN), 0.0f);
    EXPECT_EQ(clampUnit(-3.0f), 0.0f);
    EXPECT_EQ(clampUnit(3.0f), 1.0f);
}

TEST(SpectrumSmoothing, FollowsTheRealFrameRate)
{
    // A rising input with attack 0.5: half the way per 60 Hz frame, three
    // quarters per 30 Hz frame.
    const BandSmoothing at60 = bandSmoothing(0.9f, 0.5f, 16.67f);
    EXPECT_FLOAT_EQ(smoothBand(0.0f, 100.0f, at60), 50.0f);
    EXPECT_FLOAT_EQ(smoothBand(50.0f, 100.0f, at60), 75.0f);
    const BandSmoothing at30 = bandSmoothing(0.9f, 0.5f, 33.34f);
    EXPECT_FLOAT_EQ(smoothBand(0.0f, 100.0f, at30), 75.0f);

    // Falling uses the other factor.
    EXPECT_FLOAT_EQ(smoothBand(100.0f, 0.0f, at60), 90.0f);

    // A step back in time (the editor jumped back while paused) or no step
    // at all holds the value, whatever the factors.
    for (float dt : {-500.0f, -16.67f, 0.0f}) {
        for (float k : {0.0f, 0.5f, 1.0f, 7.0f, -2.0f, kNaN}) {
            const BandSmoothing w = bandSmoothing(k, k, dt);
            EXPECT_EQ(smoothBand(42.0f, 100.0f, w), 42.0f) << dt << " " << k;
            EXPECT_EQ(smoothBand(42.0f, 0.0f, w), 42.0f) << dt << " " << k;
        }
    }
}

TEST(SpectrumLogRemap, SpreadsOneLinearBinUpToTheNextAndKeepsBinZeroQuiet)
{
    std::vector<float> raw(kSpectrumBins, 0.0f);
    std::vector<float> logSpectrum(kSpectrumBins, -1.0f);
    raw[10] = 1.0f;
    logRemapSpectrum(raw.data(), logSpectrum.data());

    // Linear bin 10 lands at ln 10 / ln 1024 * 1024 = 340.2, bin 11 at 354.2:
    // 340..353 hold bin 10's value, weighted by its place and ln(1014) / 128.
    const double p = std::log(10.0) / std::log(1024.0) * 1024.0;
    const float v = float(p / 1024.0 * std::log(1014.0) / 128.0);
    for (int k = 0; k < kSpectrumBins; ++k) {
        const float expected = k >= 340 && k <= 353 ? v : 0.0f;
        ASSERT_NEAR(logSpectrum[size_t(k)], expected, 1e-6f) << "bin " << k;
    }

    // Bin 0 (at minus infinity on the axis) and a silent top make no NaN.
    std::fill(raw.begin(), raw.end(), 1.0f);
    logRemapSpectrum(raw.data(), logSpectrum.data());
    for (int k = 0; k < kSpectrumBins; ++k)
        ASSERT_TRUE(std::isfinite(logSpectrum[size_t(k)])) << "bin " << k;
    EXPECT_EQ(logSpectrum[0], 0.0f);
    EXPECT_EQ(logSpectrum[1023], 0.0f); // ln(1024 - 1023) = 0
    // Linear bins 1005..1010 all land on log bin 1021; the last one wins.
    const double p1010 = std::log(1010.0) / std::log(1024.0) * 1024.0;
    EXPECT_NEAR(logSpectrum[1021], float(p1010 / 1024.0 * std::log(14.0) / 128.0), 1e-6f);
}

TEST(SpectrumHistory, AnswersWithTheValueNearestInTime)
{
    BandHistory history;
    for (int frame = 1; frame <= 10; ++frame)
        history.push(1000.0f + 16.0f * float(frame), float(frame));
    EXPECT_EQ(history.pos, 9);
    EXPECT_EQ(history.filled, 10);

    EXPECT_EQ(history.nearest(1160.0f), 10.0f);
    EXPECT_EQ(history.nearest(1118.0f), 7.0f);        // 1112 (7) rather than 1128 (8)
    EXPECT_EQ(history.nearest(1024.0f), 1.0f);        // tie 1016/1032: the first slot
    EXPECT_EQ(history.nearest(5000.0f), 10.0f);
    // Never-written slots sit at time 0 with value 0.
    EXPECT_EQ(history.nearest(3.0f), 0.0f);

    // The ring wraps after 2048 frames and keeps counting full.
    for (int frame = 11; frame <= BandHistory::kSlots + 5; ++frame)
        history.push(1000.0f + 16.0f * float(frame), float(frame));
    EXPECT_EQ(history.pos, 4);
    EXPECT_EQ(history.filled, BandHistory::kSlots);
    EXPECT_EQ(history.nearest(3.0f), 6.0f); // the oldest value left

    // A decay shrinks what is stored at each push.
    history.decay = 0.5f;
    history.push(100000.0f, 8.0f);
    EXPECT_EQ(history.nearest(100000.0f), 8.0f);
    EXPECT_EQ(history.nearest(1000.0f + 16.0f * float(BandHistory::kSlots + 5)), float(BandHistory::kSlots + 5) * 0.5f);
}

} // namespace
