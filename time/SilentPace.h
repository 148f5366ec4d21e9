#pragma once
// Keeps a silent output (SDL's "dummy" driver, used where no sound card
// opens) in step with the clock. That driver waits one buffer's length after
// each buffer it takes, however long taking it lasted and however late the
// machine wakes it, so counted by its buffers the music falls behind the
// clock: a few per cent on a busy machine, a second or more over a demo,
// where a sound card would not lose a sample. The output asks after each
// buffer how many more frames the clock says are due, and takes them too.
#include <cstdint>

class SilentPace {
public:
    explicit SilentPace(int rate);

    // Frames due beyond the `frames` just taken, at `seconds` on a steady
    // clock; 0 when the output is on time or ahead. More than a second
    // behind is a stop (a debugger, a suspended machine), not a slow
    // output: the pace starts over from there, as a sound card would.
    int64_t extra(double seconds, int frames);

    // After a pause: the next buffer starts the count again.
    void restart() { started = false; }

private:
    int rate;
    bool started = false;
    double start = 0.0;  // seconds on the steady clock
    int64_t taken = 0;   // frames since start
};
