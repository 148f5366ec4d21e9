#pragma once
// Magnitude spectrum of a block of real samples: a real FFT with the
// rectangular window, each bin's magnitude scaled by 2/N so that a
// full-scale sine that falls on a bin reads 1.0 there.
#include <kiss_fftr.h>

#include <vector>

class MagnitudeSpectrum {
public:
    // The most bins one call may ask for.
    static constexpr int kMaxValues = 8192;

    MagnitudeSpectrum() = default;
    ~MagnitudeSpectrum();
    MagnitudeSpectrum(const MagnitudeSpectrum&) = delete;
    MagnitudeSpectrum& operator=(const MagnitudeSpectrum&) = delete;

    // Transforms 2 * numValues samples and writes the magnitudes of bins
    // 0 .. numValues - 1 to out. False, writing nothing, for numValues
    // outside 1..kMaxValues. The FFT plan is kept for the next call of the
    // same size, so steady use allocates nothing.
    bool compute(const float* samples, int numValues, float* out);

private:
    kiss_fftr_cfg plan = nullptr;
    int planSize = 0;
    std::vector<kiss_fft_cpx> bins;
};
