#include "time/SilentPace.h"

#include <cmath>

SilentPace::SilentPace(int rate)
    : rate(rate)
{
}

int64_t SilentPace::extra(double seconds, int frames)
{
    if (!started) {
        started = true;
        start = seconds;
        taken = 0;
    }
    taken += frames;
    const int64_t due = int64_t(std::floor((seconds - start) * rate));
    if (due - taken > rate) {
        start = seconds - double(taken) / rate;
        return 0;
    }
    if (due <= taken)
        return 0;
    const int64_t behind = due - taken;
    taken = due;
    return behind;
}
