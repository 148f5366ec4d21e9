#include "time/RecentSamples.h"

#include <algorithm>
#include <cstddef>

RecentSamples::RecentSamples()
    : frames(size_t(kCapacity) * 2, 0.0f)
{
}

void RecentSamples::push(const float* interleaved, int count, int channelCount)
{
    if (channelCount <= 0 || count <= 0)
        return;
    if (channelCount != channels) {
        channels = channelCount;
        frames.assign(size_t(kCapacity) * size_t(channels), 0.0f);
        write = 0;
    }
    // Only the newest kCapacity frames can matter.
    if (count > kCapacity) {
        interleaved += size_t(count - kCapacity) * size_t(channels);
        count = kCapacity;
    }
    while (count > 0) {
        const int run = std::min(count, kCapacity - write);
        std::copy(interleaved, interleaved + size_t(run) * size_t(channels),
                  frames.begin() + std::ptrdiff_t(size_t(write) * size_t(channels)));
        interleaved += size_t(run) * size_t(channels);
        count -= run;
        write = (write + run) % kCapacity;
    }
}

bool RecentSamples::latest(int channel, int count, float* out) const
{
    if (channel < 0 || channel >= channels || count <= 0 || count > kCapacity)
        return false;
    int frame = (write - count + kCapacity) % kCapacity;
    for (int i = 0; i < count; ++i) {
        out[i] = frames[size_t(frame) * size_t(channels) + size_t(channel)];
        frame = frame + 1 == kCapacity ? 0 : frame + 1;
    }
    return true;
}

void RecentSamples::clear()
{
    std::fill(frames.begin(), frames.end(), 0.0f);
    write = 0;
}
