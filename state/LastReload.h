#pragma once
// What was reloaded last while the demo ran, for the edit view's status
// strip. Whatever reloads part of the demo notes it here in the author's
// words: the Demo item's reload of all skenes ("all skenes"), the shader
// watch's rebuild of a program whose files changed ("shader <name>").
#include <cstdint>
#include <string>

struct LastReload {
    std::string what;  // empty before the first reload
    int64_t atNs = 0;  // the steady clock's nanoseconds then
    uint64_t count = 0; // reloads noted so far
};

// The record of the running demo, made by its owner (app/ProcessState.h).
LastReload& lastReload();

// Notes a reload of what, now. Called on the GUI thread (which renders).
void noteReload(const std::string& what);
