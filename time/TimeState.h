#pragma once
// The state of the time subsystem: the clocks and the music player that
// start-up creates once and keeps while the demo runs. Its owner is the
// process state (app/ProcessState.h).
#include <memory>

class Music;
class Stopwatch;
class SystemTime;

struct TimeState {
    TimeState();
    ~TimeState();
    TimeState(const TimeState&) = delete;
    TimeState& operator=(const TimeState&) = delete;

    // Time-stamps the spectrum item's history.
    std::unique_ptr<Stopwatch> frameTimer;
    // Read every frame for the frame duration.
    std::unique_ptr<SystemTime> systemTime;
    // Null until start-up creates it; the demo clock and the spectrum item
    // skip their music steps while it is null.
    std::unique_ptr<Music> music;
};

// The one TimeState of the running demo.
TimeState& timeState();
