#include "state/FrameTimings.h"

#include <algorithm>

void FrameTimings::add(double endMs, float durationMs)
{
    ends_[size_t(next_)] = endMs;
    durations_[size_t(next_)] = durationMs;
    next_ = (next_ + 1) % kCapacity;
    count_ = std::min(count_ + 1, kCapacity);
}

FrameTimingSummary FrameTimings::lastSecond() const
{
    FrameTimingSummary summary;
    if (count_ == 0)
        return summary;
    const int newest = (next_ + kCapacity - 1) % kCapacity;
    const double windowStart = ends_[size_t(newest)] - 1000.0;
    double sum = 0.0;
    int frames = 0;
    double oldestEnd = ends_[size_t(newest)];
    for (int i = 0; i < count_; ++i) {
        const int at = (newest - i + kCapacity) % kCapacity;
        if (ends_[size_t(at)] <= windowStart)
            break;
        sum += durations_[size_t(at)];
        summary.worstMs = std::max(summary.worstMs, durations_[size_t(at)]);
        oldestEnd = ends_[size_t(at)];
        ++frames;
    }
    summary.meanMs = float(sum / frames);
    summary.framesPerSecond = frames;
    // The ring ran out inside the second: the rate is the one over the span
    // it still holds.
    const double span = ends_[size_t(newest)] - oldestEnd;
    if (frames == kCapacity && span > 0.0)
        summary.framesPerSecond = int(double(frames - 1) * 1000.0 / span + 0.5);
    return summary;
}
