#include "time/SilentPace.h"

#include <cmath>

SilentPace::SilentPace(int rate)
    : rate(rate)
{
}

int64_t SilentPace::take(double seconds, int frames)
{
    if (!started) {
        started = true;
        start = seconds;
        taken = 0;
    }
    const int64_t due = int64_t(std::floor((seconds - start) * rate));
    if (due - taken > rate) {
        // Start over as if everything so far had been taken on time.
        start = seconds - double(taken) / rate;
        taken += frames;
        return frames;
    }
    const int64_t want = due + frames - taken;
    if (want <= 0)
        return 0;
    taken += want;
    return want;
}
