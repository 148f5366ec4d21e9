#pragma once
// How long the render thread's frames took, kept for the edit view's status
// strip: the frame adds one sample as it ends, and the strip reads a summary
// of the last second a few times a second. The samples live in a fixed ring,
// so adding one never allocates (a frame must not).
#include <array>

struct FrameTimingSummary {
    int framesPerSecond = 0; // frames that ended in the last second
    float meanMs = 0.0f;     // their mean duration
    float worstMs = 0.0f;    // the longest of them
};

class FrameTimings {
public:
    // More frames than this in one second are counted from the ring's span.
    static constexpr int kCapacity = 2048;

    // A frame that ended at endMs (the frame clock's milliseconds) and took
    // durationMs of the render thread's time.
    void add(double endMs, float durationMs);
    void clear() { count_ = 0; next_ = 0; }
    int count() const { return count_; }

    // The frames that ended less than 1000 ms before the newest one, the
    // newest included; zeros before the first frame.
    FrameTimingSummary lastSecond() const;

private:
    std::array<double, kCapacity> ends_{};
    std::array<float, kCapacity> durations_{};
    int next_ = 0;  // where the next sample goes
    int count_ = 0; // samples held, up to kCapacity
};
