#pragma once
// The table of atomic counter buffers by name, one per set of GPU resources
// (gpu/GpuResources.h): one 32-bit counter per name, shared by every counter
// item that gives that name (the empty name included). Entries live as long
// as the table, so a reloaded skene counts on in the same buffer. Needs the
// demo's context current.
#include <GL/glew.h>

#include <map>
#include <string>

struct AtomicCounterBuffer {
    GLuint buffer = 0;
    std::string name;
};

struct AtomicCounterRegistry {
    std::map<std::string, AtomicCounterBuffer> counters;

    // The counter under name; made on first use (4 bytes, GL_DYNAMIC_COPY,
    // starting at 0).
    AtomicCounterBuffer& get(const std::string& name);
    // Deletes every buffer (with the context current).
    void releaseAll();
};

// Sets the counter to 0 through a mapped range; when the mapping fails,
// nothing is written. Returns whether it was written.
bool clearAtomicCounter(const AtomicCounterBuffer& counter);
