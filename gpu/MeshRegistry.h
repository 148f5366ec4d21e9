#pragma once
// The process-wide tables of shared meshes. Entries are added by the draw
// items and never removed, so a reloaded skene finds its meshes again and
// a Mesh* stays valid for the life of the process.
#include "gpu/Mesh.h"

#include <map>
#include <memory>
#include <string>

struct MeshRegistries {
    // Imported meshes by file name and import options (the mesh item's key).
    std::map<std::string, std::unique_ptr<Mesh>> meshes;
    // Quads and point grids by kind and size or shared name (the
    // vertex-buffer item's key, e.g. "pointGrid64x64" or "pointGrid" + vboId).
    std::map<std::string, std::unique_ptr<Mesh>> vertexBuffers;
};

MeshRegistries& meshRegistries();

// Empties both tables (for tests: no item may hold a Mesh* across it).
void resetMeshRegistries();

// The entry under key, or null.
Mesh* findCachedMesh(const std::string& key);
Mesh* findVertexBuffer(const std::string& key);

// Adds an empty Mesh under key (or returns the one there).
Mesh* addCachedMesh(const std::string& key);
Mesh* addVertexBuffer(const std::string& key);

// Builds the GPU buffers of every cached mesh that has none yet, so that the
// uploads happen before the music starts rather than at each mesh's first
// draw. The frame runs it when file playback starts.
void uploadPendingMeshes();
