#include "gpu/RenderTargetRegistry.h"

RenderTarget* RenderTargetRegistry::find(const std::string& name) const
{
    const auto it = targets_.find(name);
    return it == targets_.end() ? nullptr : it->second.get();
}

RenderTarget* RenderTargetRegistry::add(const std::string& name)
{
    std::unique_ptr<RenderTarget>& slot = targets_[name];
    if (!slot)
        slot = std::make_unique<RenderTarget>(stack_);
    return slot.get();
}

void RenderTargetRegistry::releaseAll()
{
    for (auto& entry : targets_)
        entry.second->release();
    releaseStack(stack_);
}
