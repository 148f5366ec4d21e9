#pragma once
// The arithmetic of the noise item, apart from the item: a window of four
// successive random values (the previous, current, next and second-next)
// that steps through a seeded sequence as demo time passes, and the value
// interpolated between them at the phase within the current one.
//
// It follows demo time, not the wall clock: a paused demo holds its value,
// and the same seed over the same timeline replays the same values.
#include <cstdint>
#include <random>

// A random value mapped onto -1..1.
float noiseUnit(uint32_t r);

struct NoiseSignal {
    enum Interpolation { None = 0, Linear = 1, Smoothstep = 2, Cubic = 3 };
    // The most values one step draws, however far the clock jumped: beyond
    // that the window has been replaced whole.
    static constexpr int kMaxDraws = 4;

    uint32_t window[4] = {0, 0, 0, 0}; // r-1, r0, r1, r2
    double lastTickMs = 0.0;           // demo time at which r0 became current
    // The standard fixes this engine's sequence for every seed, and a
    // demo's look depends on that sequence never changing.
    std::mt19937 generator;

    // Restarts the sequence of seed and fills the window with its first
    // four values.
    void reseed(uint32_t seed);

    // Moves to demo time tMs at freq values per second and returns the
    // value there with the given interpolation. Returns current unchanged,
    // moving nothing, for a frequency that is not positive and finite (no
    // period to step by); an interpolation outside 0..3 returns current too
    // but still moves the window and the phase.
    //
    // Forward by a period or more, the window advances one value per whole
    // period (at most kMaxDraws) and the phase is re-anchored. Backwards,
    // the window stays and only the anchor moves, so the value continues
    // from the same random values.
    float step(double tMs, float freq, int interpolation, float current);

private:
    void shift();
};
