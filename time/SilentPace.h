#pragma once
// Keeps a silent output (SDL's "dummy" driver, used where no sound card
// opens) in step with the clock. That driver sleeps a whole number of
// milliseconds after each buffer it takes, however long taking it lasted and
// however late the machine wakes it, so counted by its buffers the music
// parts from the clock: behind by a few per cent on a busy machine, or ahead
// when its sleeps come out shorter than a buffer (21 ms sleeps for 21.33 ms
// buffers), where a sound card would keep to its own pace. The output asks
// before each buffer how much music the clock says is due, and takes that:
// more than a buffer when it is behind (the rest goes unheard), less when it
// is ahead (the rest of the buffer is silence).
#include <cstdint>

class SilentPace {
public:
    explicit SilentPace(int rate);

    // Frames of music to take for the next buffer of `frames`, at `seconds`
    // on a steady clock: enough that the music reaches the clock plus this
    // buffer, so it sounds as if the buffer played from now. 0 when the
    // buffers taken so far already reach past that. More than a second
    // behind is a stop (a debugger, a suspended machine), not a slow output:
    // the pace starts over from there, as a sound card would.
    int64_t take(double seconds, int frames);

    // After a pause: the next buffer starts the count again.
    void restart() { started = false; }

private:
    int rate;
    bool started = false;
    double start = 0.0;  // seconds on the steady clock
    int64_t taken = 0;   // frames since start
};
