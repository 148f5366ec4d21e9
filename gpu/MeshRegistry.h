#pragma once
// The tables of shared meshes, two per set of GPU resources
// (gpu/GpuResources.h): imported meshes by file name and import options
// (the mesh item's key), and quads and point grids by kind and size or
// shared name (the vertex-buffer item's key, e.g. "pointGrid64x64" or
// "pointGrid" + vboId). Entries are added by the draw items and never
// removed, so a reloaded skene finds its meshes again and a Mesh* stays
// valid as long as its table.
#include "gpu/Mesh.h"

#include <map>
#include <memory>
#include <string>

class MeshTable {
public:
    // The entry under key, or null.
    Mesh* find(const std::string& key) const;
    // Adds an empty Mesh under key (or returns the one there).
    Mesh* add(const std::string& key);

    const std::map<std::string, std::unique_ptr<Mesh>>& entries() const { return entries_; }

private:
    std::map<std::string, std::unique_ptr<Mesh>> entries_;
};
