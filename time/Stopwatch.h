#pragma once
// A high-resolution stopwatch: frame durations, the spectrum item's history
// stamps and the QML-visible SystemTime all read one of these.
#include <cstdint>

class Stopwatch {
public:
    // Starts at once.
    Stopwatch();

    // Milliseconds since construction or the last restart(), with
    // sub-millisecond resolution. Never decreases between restarts.
    double elapsed_ms() const;

    // Starts counting from zero again.
    void restart();

    // From now on reads ms, and only what a later call says: a capture's
    // frame timer follows the capture's clock instead of the counter.
    void hold_at(double ms);

private:
    // Counter reading at the start. Kept as an integer count of ticks rather
    // than a double so that a long-running process keeps full resolution.
    int64_t start;
    bool held = false;
    double held_ms = 0.0;
};
