#pragma once
// The most recent samples that went to the output, per channel, from which
// the music's spectrum is taken.
#include <vector>

class RecentSamples {
public:
    // The longest window that can be asked for, in samples.
    static constexpr int kCapacity = 16384;

    RecentSamples();

    // Appends interleaved frames of `channels` channels.
    void push(const float* interleaved, int frames, int channels);

    // Copies the last count samples of channel into out, oldest first
    // (zeros where nothing was played yet). False, leaving out alone, for a
    // channel that was never pushed or a count outside 1..kCapacity.
    bool latest(int channel, int count, float* out) const;

    // Forgets everything pushed.
    void clear();

private:
    int channels = 0;
    int write = 0; // next frame slot
    std::vector<float> frames; // kCapacity frames, interleaved
};
