#pragma once
// The process-wide table of atomic counter buffers by name: one 32-bit
// counter per name, shared by every counter item that gives that name (the
// empty name included). Entries live as long as the process, so a reloaded
// skene counts on in the same buffer. Needs the demo's context current.
#include <GL/glew.h>

#include <map>
#include <string>

struct AtomicCounterBuffer {
    GLuint buffer = 0;
    std::string name;
};

struct AtomicCounterRegistry {
    std::map<std::string, AtomicCounterBuffer> counters;
};

AtomicCounterRegistry& atomicCounterRegistry();

// Forgets every entry without touching GL (for tests).
void resetAtomicCounters();

// The counter under name; made on first use (4 bytes, GL_DYNAMIC_COPY,
// starting at 0).
AtomicCounterBuffer& atomicCounter(const std::string& name);

// Sets the counter to 0 through a mapped range; when the mapping fails,
// nothing is written. Returns whether it was written.
bool clearAtomicCounter(const AtomicCounterBuffer& counter);
