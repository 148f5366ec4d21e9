#include "time/Mt19937.h"

namespace {

constexpr int kShift = 397; // the middle word of the recurrence
constexpr uint32_t kTwist = 0x9908B0DFu;
constexpr uint32_t kUpper = 0x80000000u;
constexpr uint32_t kLower = 0x7FFFFFFFu;

} // namespace

void Mt19937::reseed(uint32_t seed)
{
    state[0] = seed;
    for (int i = 1; i < kStateWords; ++i) {
        const uint32_t prev = state[i - 1];
        state[i] = 1812433253u * (prev ^ (prev >> 30)) + uint32_t(i);
    }
    next = kStateWords;
}

uint32_t Mt19937::draw()
{
    if (next >= kStateWords) {
        for (int i = 0; i < kStateWords; ++i) {
            const uint32_t y = (state[i] & kUpper) | (state[(i + 1) % kStateWords] & kLower);
            state[i] = state[(i + kShift) % kStateWords] ^ (y >> 1) ^ ((y & 1u) ? kTwist : 0u);
        }
        next = 0;
    }
    uint32_t y = state[next++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}
