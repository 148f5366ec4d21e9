#include <GL/glew.h>

#include "gpu/AtomicCounters.h"

#include <cstdint>
#include <cstring>

AtomicCounterBuffer& AtomicCounterRegistry::get(const std::string& name)
{
    auto found = counters.find(name);
    if (found != counters.end())
        return found->second;
    AtomicCounterBuffer& counter = counters[name];
    counter.name = name;
    glGenBuffers(1, &counter.buffer);
    glBindBuffer(GL_ATOMIC_COUNTER_BUFFER, counter.buffer);
    // A counter that no item clears is read as it stands: it starts at 0,
    // not at whatever the driver's new storage holds.
    const uint32_t zero = 0;
    glBufferData(GL_ATOMIC_COUNTER_BUFFER, sizeof(uint32_t), &zero, GL_DYNAMIC_COPY);
    glBindBuffer(GL_ATOMIC_COUNTER_BUFFER, 0);
    return counter;
}

void AtomicCounterRegistry::releaseAll()
{
    for (auto& entry : counters)
        glDeleteBuffers(1, &entry.second.buffer);
    counters.clear();
}

bool clearAtomicCounter(const AtomicCounterBuffer& counter)
{
    // Shader increments reach a mapping only after this barrier.
    glMemoryBarrier(GL_BUFFER_UPDATE_BARRIER_BIT);
    glBindBuffer(GL_ATOMIC_COUNTER_BUFFER, counter.buffer);
    // Synchronised: draws of the last frame still queued must count into
    // the old value, not into this frame's zero. Invalidating lets the
    // driver give the buffer new storage instead of waiting for them.
    void* mapped = glMapBufferRange(GL_ATOMIC_COUNTER_BUFFER, 0, sizeof(uint32_t),
                                    GL_MAP_WRITE_BIT | GL_MAP_INVALIDATE_BUFFER_BIT);
    if (mapped) {
        const uint32_t zero = 0;
        std::memcpy(mapped, &zero, sizeof zero);
        glUnmapBuffer(GL_ATOMIC_COUNTER_BUFFER);
    }
    glBindBuffer(GL_ATOMIC_COUNTER_BUFFER, 0);
    return mapped != nullptr;
}
