#pragma once
// The process-wide table of render targets by name. Render target items
// enter a target under the name of their layer the first time they render
// it; texture items, the spectrum item and anything else that reads or fills
// a target find it here by that name. Entries are never removed, so a
// reloaded skene finds its targets again and a RenderTarget* stays valid for
// the life of the process.
#include "gpu/RenderTarget.h"

#include <map>
#include <memory>
#include <string>

struct RenderTargetRegistry {
    std::map<std::string, std::unique_ptr<RenderTarget>> targets;
};

RenderTargetRegistry& renderTargetRegistry();

// Empties the table and the render-target stack, without touching GL (for
// tests: no item may hold a RenderTarget* across it).
void resetRenderTargets();

// The target entered under name, or null.
RenderTarget* findRenderTarget(const std::string& name);

// Enters an empty target (no GL objects yet) under name, or returns the one
// there.
RenderTarget* addRenderTarget(const std::string& name);
