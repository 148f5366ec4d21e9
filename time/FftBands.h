#pragma once
// The arithmetic of the spectrum item, apart from the item: the music's
// linear 1024-bin spectrum remapped onto a logarithmic frequency axis, the
// mean of a band of that axis, the smoothing of a band value towards it at
// the demo's real frame rate, and a short history of past values.
//
// A band is given as a centre and a half-width, both as fractions of the
// log axis (0..1). Whatever they are (negative, over 1, not a number), a
// band covers bins inside 0..1023 only.
#include <cstddef>

constexpr int kSpectrumBins = 1024;

// x clamped to 0..1; a value that is not a number counts as 0.
float clampUnit(float x);

// Writes the log-axis spectrum of raw (both kSpectrumBins floats). Linear
// bin x lands on log bin ln(x) / ln(1024) * 1024, weighted by its place on
// the axis and by ln(1024 - x) / 128, which lifts the highs, where linear
// bins are dense, less than the lows; log bins that no linear bin lands on
// hold the value of the bin before them. Bin 0 (the constant component of the
// signal) contributes nothing.
void logRemapSpectrum(const float* raw, float* logSpectrum);

// First and last log bin (both included) of the band centred at freq with
// half-width halfWidth.
struct BandBins {
    int lo;
    int hi;
};
BandBins bandBins(float freq, float halfWidth);

// Running sums of one log spectrum, so that any band's mean costs two look-
// ups: the smoothed spectrum takes a band around each of the 1024 bins.
struct BandSums {
    double sums[kSpectrumBins + 1];

    void build(const float* logSpectrum);
    // The band's mean, times 1000: the unsmoothed band value.
    float rawValue(BandBins bins) const;
};

// The weights of a value's own past against its target in one frame: the
// smoothing factors are given per 60 Hz frame and scaled to the real step.
struct BandSmoothing {
    float rising;  // while the target is above the value
    float falling; // while it falls or holds
};

// The weights for a step of dtMs milliseconds. A zero or negative step
// (the editor jumped back while paused) holds the value; factors are
// clamped to 0..1.
BandSmoothing bandSmoothing(float smooth, float smoothAttack, float dtMs);

// prev moved towards target by one step.
float smoothBand(float prev, float target, const BandSmoothing& weights);

// The band value of recent frames, with the stopwatch time (ms) of each, in
// a ring of 2048 slots.
struct BandHistory {
    static constexpr int kSlots = 2048;

    float times[kSlots] = {};
    float values[kSlots] = {};
    int pos = -1;      // last written slot
    int filled = 0;    // slots written, at most kSlots
    float decay = 1.0f; // applied to every stored value at each push

    void push(float timeMs, float value);
    // The value of the slot whose time is nearest to targetMs; never-written
    // slots (time 0, value 0) count too, and the first slot wins a tie.
    float nearest(float targetMs) const;
};
