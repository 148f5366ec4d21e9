#include "time/Stopwatch.h"

#include "platform/Clock.h"

namespace {

// The counter behind the stopwatch ticks in nanoseconds.
constexpr double ms_per_tick = 1.0e-6;

} // namespace

Stopwatch::Stopwatch()
    : start(platform::steadyNanoseconds())
{
}

double Stopwatch::elapsed_ms() const
{
    if (held)
        return held_ms;
    return double(platform::steadyNanoseconds() - start) * ms_per_tick;
}

void Stopwatch::restart()
{
    start = platform::steadyNanoseconds();
}

void Stopwatch::hold_at(double ms)
{
    held = true;
    held_ms = ms;
}
