#pragma once
// The table of render targets by name, one per set of GPU resources
// (gpu/GpuResources.h). Render target items enter a target under the name
// of their layer the first time they render it; texture items, the spectrum
// item and anything else that reads or fills a target find it here by that
// name. Entries are never removed, so a reloaded skene finds its targets
// again and a RenderTarget* stays valid as long as the table.
#include "gpu/RenderTarget.h"

#include <map>
#include <memory>
#include <string>

class RenderTargetRegistry {
public:
    // Targets that nest through stack (it must outlive the table).
    explicit RenderTargetRegistry(RenderTargetStack& stack)
        : stack_(stack)
    {
    }

    // The target entered under name, or null.
    RenderTarget* find(const std::string& name) const;
    // Enters an empty target (no GL objects yet) under name, or returns the
    // one there.
    RenderTarget* add(const std::string& name);

    // Deletes the GL objects of every target (with the context current).
    void releaseAll();

    const std::map<std::string, std::unique_ptr<RenderTarget>>& targets() const { return targets_; }

private:
    RenderTargetStack& stack_;
    std::map<std::string, std::unique_ptr<RenderTarget>> targets_;
};
