#include "gpu/MeshRegistry.h"

Mesh* MeshTable::find(const std::string& key) const
{
    const auto it = entries_.find(key);
    return it == entries_.end() ? nullptr : it->second.get();
}

Mesh* MeshTable::add(const std::string& key)
{
    std::unique_ptr<Mesh>& slot = entries_[key];
    if (!slot)
        slot = std::make_unique<Mesh>();
    return slot.get();
}
