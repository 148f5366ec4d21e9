#include "gpu/RenderTargetRegistry.h"

RenderTargetRegistry& renderTargetRegistry()
{
    static RenderTargetRegistry registry;
    return registry;
}

void resetRenderTargets()
{
    renderTargetRegistry().targets.clear();
    resetRenderTargetStack();
}

RenderTarget* findRenderTarget(const std::string& name)
{
    const auto& targets = renderTargetRegistry().targets;
    const auto it = targets.find(name);
    return it == targets.end() ? nullptr : it->second.get();
}

RenderTarget* addRenderTarget(const std::string& name)
{
    std::unique_ptr<RenderTarget>& slot = renderTargetRegistry().targets[name];
    if (!slot)
        slot = std::make_unique<RenderTarget>();
    return slot.get();
}
