#pragma once
// Hands the pages that malloc holds free back to the system. The C
// library's heap gives memory back only from its top, so a long session
// whose heap has a live block near the top keeps every page freed below it:
// the resident size steps up once a burst of allocations (a software
// rasterizer's per-draw vertex memory, a reload) peaks higher than before,
// and never comes down. Releasing the free pages wherever they lie keeps
// the resident size to what is in use.
#include <cstdint>

namespace platform {

// Gives back the whole free pages of every malloc arena; safe on any
// thread. Costs a walk over the free blocks, and a page fault later for each
// page given back that malloc reuses.
void releaseFreeMemory();

// The releases so far: how many, and their total and worst time.
struct FreeMemoryReleases {
    int64_t count = 0;
    int64_t totalNs = 0;
    int64_t worstNs = 0;
};
FreeMemoryReleases freeMemoryReleases();

} // namespace platform
