#pragma once
// The 32-bit Mersenne Twister (MT19937): 624 words of state, the standard
// seeding and tempering, so a seed gives the same sequence as the standard
// library's std::mt19937. The noise item replays a demo's random values
// from it; a demo's look depends on that sequence never changing.
#include <cstdint>

struct Mt19937 {
    static constexpr int kStateWords = 624;
    // The seed of a default-constructed standard engine.
    static constexpr uint32_t kDefaultSeed = 5489u;

    uint32_t state[kStateWords];
    int next; // index of the next word to temper; kStateWords: regenerate first

    explicit Mt19937(uint32_t seed = kDefaultSeed) { reseed(seed); }

    // Starts the sequence of seed from its beginning.
    void reseed(uint32_t seed);

    // The next value of the sequence.
    uint32_t draw();
};
