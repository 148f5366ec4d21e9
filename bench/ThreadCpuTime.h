#pragma once
// CPU time of the calling thread, in seconds. GL benchmarks time their
// render calls with it: the waits for the GPU (with Mesa's software
// rasteriser, for its worker threads) do not count.
#include <ctime>

inline double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}
