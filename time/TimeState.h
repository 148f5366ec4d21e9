#pragma once
// Process-wide state of the time subsystem: the clocks and the music player
// that start-up creates once and keeps for the life of the process.
#include <memory>

class Music;
class Stopwatch;
class SystemTime;

struct TimeState {
    TimeState();
    ~TimeState();

    // Time-stamps the spectrum item's history.
    std::unique_ptr<Stopwatch> frameTimer;
    // Read every frame for the frame duration.
    std::unique_ptr<SystemTime> systemTime;
    // Null until start-up creates it; the demo clock and the spectrum item
    // skip their music steps while it is null.
    std::unique_ptr<Music> music;
};

// The one TimeState of the process.
TimeState& timeState();

// Destroys the clocks and the music player (for tests).
void resetTimeState();
