#include "time/NoiseSignal.h"

#include <cmath>

float noiseUnit(uint32_t r)
{
    return float(double(r) / 4294967295.0 * 2.0 - 1.0);
}

void NoiseSignal::reseed(uint32_t seed)
{
    generator = std::mt19937(seed);
    for (uint32_t& r : window)
        r = uint32_t(generator());
}

void NoiseSignal::shift()
{
    window[0] = window[1];
    window[1] = window[2];
    window[2] = window[3];
    window[3] = uint32_t(generator());
}

float NoiseSignal::step(double tMs, float freq, int interpolation, float current)
{
    if (!std::isfinite(freq) || !(freq > 0.0f))
        return current;
    const double period = 1000.0 / double(freq);
    if (!(period > 0.0))
        return current;

    double elapsed = tMs - lastTickMs;
    if (elapsed < 0.0) {
        // The clock went back: keep the values, move the anchor so that the
        // phase stays where the time says.
        const double periods = elapsed / period;
        lastTickMs = tMs - (periods - std::floor(periods)) * period;
    } else if (elapsed >= period) {
        // A whole period ends the current value. (Waiting until it is
        // exceeded would show the current value again at phase 0 for a
        // frame that falls exactly on the boundary: a jump back.)
        const double periods = elapsed / period;
        const int draws = periods >= double(kMaxDraws) ? kMaxDraws : int(periods);
        lastTickMs = tMs - (periods - std::floor(periods)) * period;
        elapsed = tMs - lastTickMs;
        for (int i = 0; i < draws; ++i)
            shift();
    }

    // An interpolation outside the table holds the value, but the clock and
    // the window go on, so that switching back shows what the time says.
    if (interpolation < None || interpolation > Cubic)
        return current;
    const double x = elapsed / period;
    const double s = x - std::floor(x);
    const double pm1 = noiseUnit(window[0]);
    const double p0 = noiseUnit(window[1]);
    const double p1 = noiseUnit(window[2]);
    const double p2 = noiseUnit(window[3]);
    switch (interpolation) {
    case None:
        return float(p0);
    case Linear:
        return float(p0 + (p1 - p0) * s);
    case Smoothstep:
        return float(p0 + (p1 - p0) * s * s * (3.0 - 2.0 * s));
    default: {
        // Hermite with full differences as tangents, as the demos were
        // tuned with.
        const double m0 = p1 - pm1;
        const double m1 = p2 - p0;
        const double s2 = s * s;
        const double s3 = s2 * s;
        return float((2.0 * s3 - 3.0 * s2 + 1.0) * p0 + (s3 - 2.0 * s2 + s) * m0 + (3.0 * s2 - 2.0 * s3) * p1 +
                     (s3 - s2) * m1);
    }
    }
}
