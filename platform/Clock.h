#pragma once
// Monotonic clocks that stand in for the Windows multimedia timer and the
// performance counter.
#include <cstdint>

namespace platform {

// 32-bit millisecond counter from CLOCK_MONOTONIC. Wraps at 2^32 ms like the
// Windows clock it replaces, so callers must subtract, never compare.
uint32_t millisecondClock();

// Monotonic nanoseconds from std::chrono::steady_clock.
int64_t steadyNanoseconds();

// Blocks the calling thread for the given number of milliseconds.
void sleepMilliseconds(int ms);

} // namespace platform
