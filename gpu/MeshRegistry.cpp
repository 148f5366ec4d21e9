#include <GL/glew.h>

#include "gpu/MeshRegistry.h"

#include "gpu/VertexBuffers.h"

namespace {

Mesh* find(const std::map<std::string, std::unique_ptr<Mesh>>& table, const std::string& key)
{
    const auto it = table.find(key);
    return it == table.end() ? nullptr : it->second.get();
}

Mesh* add(std::map<std::string, std::unique_ptr<Mesh>>& table, const std::string& key)
{
    std::unique_ptr<Mesh>& slot = table[key];
    if (!slot)
        slot = std::make_unique<Mesh>();
    return slot.get();
}

} // namespace

MeshRegistries& meshRegistries()
{
    // Never torn down: the meshes hold GL names that die with the context,
    // and exit-time destruction would run after the context is gone.
    static auto* registries = new MeshRegistries();
    return *registries;
}

void resetMeshRegistries()
{
    meshRegistries().meshes.clear();
    meshRegistries().vertexBuffers.clear();
}

Mesh* findCachedMesh(const std::string& key)
{
    return find(meshRegistries().meshes, key);
}

Mesh* findVertexBuffer(const std::string& key)
{
    return find(meshRegistries().vertexBuffers, key);
}

Mesh* addCachedMesh(const std::string& key)
{
    return add(meshRegistries().meshes, key);
}

Mesh* addVertexBuffer(const std::string& key)
{
    return add(meshRegistries().vertexBuffers, key);
}

void uploadPendingMeshes()
{
    for (auto& entry : meshRegistries().meshes)
        buildMeshBuffers(*entry.second);
}
