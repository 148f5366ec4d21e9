#include "time/MagnitudeSpectrum.h"

#include <cmath>

MagnitudeSpectrum::~MagnitudeSpectrum()
{
    if (plan)
        kiss_fftr_free(plan);
}

bool MagnitudeSpectrum::compute(const float* samples, int numValues, float* out)
{
    if (numValues < 1 || numValues > kMaxValues)
        return false;
    const int n = 2 * numValues;
    if (n != planSize) {
        if (plan)
            kiss_fftr_free(plan);
        plan = kiss_fftr_alloc(n, 0, nullptr, nullptr);
        planSize = plan ? n : 0;
        if (!plan)
            return false;
        bins.assign(size_t(numValues) + 1, kiss_fft_cpx{0.0f, 0.0f});
    }
    kiss_fftr(plan, samples, bins.data());
    const kiss_fft_cpx* cpx = bins.data();
    const float scale = 2.0f / float(n);
    for (int k = 0; k < numValues; ++k)
        out[k] = std::sqrt(cpx[k].r * cpx[k].r + cpx[k].i * cpx[k].i) * scale;
    return true;
}
