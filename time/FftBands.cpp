#include "time/FftBands.h"

#include <algorithm>
#include <cmath>

namespace {

// A frame at 60 Hz, the rate the smoothing factors are given for.
constexpr float kReferenceFrameMs = 16.67f;

// Where each linear bin lands on the log axis and what it is weighted by,
// which depend on the bin alone.
struct LogAxis {
    int bin[kSpectrumBins];
    float weight[kSpectrumBins];

    LogAxis()
    {
        const double axis = std::log(double(kSpectrumBins));
        // Bin 0 would land at minus infinity: it stays on bin 0 with no
        // weight, and bin 1 (at 0) overwrites it anyway.
        bin[0] = 0;
        weight[0] = 0.0f;
        for (int x = 1; x < kSpectrumBins; ++x) {
            const double p = std::log(double(x)) / axis * kSpectrumBins;
            bin[x] = std::clamp(int(p), 0, kSpectrumBins - 1);
            weight[x] = float(p / kSpectrumBins * std::log(double(kSpectrumBins - x)) / 128.0);
        }
    }
};

const LogAxis& logAxis()
{
    static const LogAxis axis;
    return axis;
}

// A fraction of the log axis as a bin, truncated towards zero and kept on
// the axis; not a number gives bin 0.
int binAt(float fraction)
{
    const float p = fraction * float(kSpectrumBins);
    if (!(p > 0.0f))
        return 0;
    if (p >= float(kSpectrumBins - 1))
        return kSpectrumBins - 1;
    return int(p);
}

// k^(dtMs / 16.67) kept to 0..1; a result that is not a number holds.
float stepWeight(float factor, float dtMs)
{
    const float m = std::pow(clampUnit(factor), dtMs / kReferenceFrameMs);
    if (std::isnan(m))
        return 1.0f;
    return std::clamp(m, 0.0f, 1.0f);
}

} // namespace

float clampUnit(float x)
{
    if (std::isnan(x))
        return 0.0f;
    return std::clamp(x, 0.0f, 1.0f);
}

void logRemapSpectrum(const float* raw, float* logSpectrum)
{
    const LogAxis& axis = logAxis();
    std::fill(logSpectrum, logSpectrum + kSpectrumBins, 0.0f);
    int previousBin = -1;
    float previousValue = 0.0f;
    for (int x = 0; x < kSpectrumBins; ++x) {
        const int k = axis.bin[x];
        const float v = axis.weight[x] * raw[x];
        logSpectrum[k] = v;
        for (int skipped = previousBin + 1; skipped < k; ++skipped)
            logSpectrum[skipped] = previousValue;
        previousBin = k;
        previousValue = v;
    }
}

BandBins bandBins(float freq, float halfWidth)
{
    return {binAt(freq - halfWidth), binAt(freq + halfWidth)};
}

void BandSums::build(const float* logSpectrum)
{
    sums[0] = 0.0;
    for (int i = 0; i < kSpectrumBins; ++i)
        sums[i + 1] = sums[i] + double(logSpectrum[i]);
}

float BandSums::rawValue(BandBins bins) const
{
    // A band given backwards (only a negative half-width does that) is
    // read the right way round rather than divided by a negative count.
    const int lo = std::min(bins.lo, bins.hi);
    const int hi = std::max(bins.lo, bins.hi);
    return float((sums[hi + 1] - sums[lo]) / double(hi - lo + 1) * 1000.0);
}

BandSmoothing bandSmoothing(float smooth, float smoothAttack, float dtMs)
{
    return {stepWeight(smoothAttack, dtMs), stepWeight(smooth, dtMs)};
}

float smoothBand(float prev, float target, const BandSmoothing& weights)
{
    const float m = prev < target ? weights.rising : weights.falling;
    return (1.0f - m) * target + m * prev;
}

void BandHistory::push(float timeMs, float value)
{
    pos = (pos + 1) % kSlots;
    filled = std::min(filled + 1, kSlots);
    if (decay != 1.0f) {
        for (float& v : values)
            v *= decay;
    }
    times[pos] = timeMs;
    values[pos] = value;
}

float BandHistory::nearest(float targetMs) const
{
    int best = 0;
    float bestDistance = 9999999.0f;
    for (int i = 0; i < kSlots; ++i) {
        const float distance = std::fabs(times[i] - targetMs);
        if (distance < bestDistance) {
            bestDistance = distance;
            best = i;
        }
    }
    return values[best];
}
