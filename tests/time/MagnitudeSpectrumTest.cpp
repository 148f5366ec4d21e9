#include "time/MagnitudeSpectrum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

std::vector<float> sine(int count, double cyclesPerWindow, float amplitude)
{
    std::vector<float> s(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i)
        s[size_t(i)] = amplitude * float(std::sin(2.0 * M_PI * cyclesPerWindow * i / count));
    return s;
}

TEST(MagnitudeSpectrum, SineOnABinPeaksThereAtItsAmplitude)
{
    MagnitudeSpectrum spectrum;
    std::vector<float> out(1024, -1.0f);

    ASSERT_TRUE(spectrum.compute(sine(2048, 40, 1.0f).data(), 1024, out.data()));
    EXPECT_NEAR(out[40], 1.0f, 1e-4f);
    out[40] = 0.0f;
    EXPECT_LT(*std::max_element(out.begin(), out.end()), 1e-3f);

    ASSERT_TRUE(spectrum.compute(sine(2048, 300, 0.25f).data(), 1024, out.data()));
    EXPECT_NEAR(out[300], 0.25f, 1e-4f);
}

TEST(MagnitudeSpectrum, AnySizeUpToTheLimitAndNothingBeyond)
{
    MagnitudeSpectrum spectrum;
    std::vector<float> out(MagnitudeSpectrum::kMaxValues + 1, -1.0f);

    ASSERT_TRUE(spectrum.compute(sine(128, 5, 0.5f).data(), 64, out.data()));
    EXPECT_NEAR(out[5], 0.5f, 1e-4f);
    EXPECT_EQ(out[64], -1.0f); // nothing written past num_values

    std::fill(out.begin(), out.end(), -1.0f);
    EXPECT_FALSE(spectrum.compute(sine(2, 0, 0.0f).data(), 0, out.data()));
    const std::vector<float> big(2 * (MagnitudeSpectrum::kMaxValues + 1), 0.0f);
    EXPECT_FALSE(spectrum.compute(big.data(), MagnitudeSpectrum::kMaxValues + 1, out.data()));
    EXPECT_EQ(out[0], -1.0f);
}

} // namespace
