#include "platform/FreeMemory.h"

#include "platform/Clock.h"

#include <atomic>
#include <malloc.h>

namespace platform {

namespace {

std::atomic<int64_t> g_count{0};
std::atomic<int64_t> g_totalNs{0};
std::atomic<int64_t> g_worstNs{0};

} // namespace

void releaseFreeMemory()
{
    const int64_t start = steadyNanoseconds();
    malloc_trim(0);
    const int64_t took = steadyNanoseconds() - start;
    g_count.fetch_add(1, std::memory_order_relaxed);
    g_totalNs.fetch_add(took, std::memory_order_relaxed);
    int64_t worst = g_worstNs.load(std::memory_order_relaxed);
    while (took > worst && !g_worstNs.compare_exchange_weak(worst, took, std::memory_order_relaxed)) {
    }
}

FreeMemoryReleases freeMemoryReleases()
{
    FreeMemoryReleases r;
    r.count = g_count.load(std::memory_order_relaxed);
    r.totalNs = g_totalNs.load(std::memory_order_relaxed);
    r.worstNs = g_worstNs.load(std::memory_order_relaxed);
    return r;
}

} // namespace platform
