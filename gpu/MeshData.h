#pragma once
// An imported mesh as it goes to the GPU: every submesh's vertices already
// in the mesh's storage form and its triangle indices, with the box the
// import measured. It is what an import off the render thread hands over
// and what the mesh cache keeps, so it holds plain bytes and no GL names:
// whoever builds one owns it until it is moved into its Mesh.
#include <cstdint>
#include <vector>

// One draw's worth: vertexCount vertices of the storage form's stride, and
// three 32-bit indices per triangle, each below vertexCount.
struct MeshPart {
    uint32_t vertexCount = 0;
    std::vector<uint8_t> vertices;
    std::vector<uint32_t> indices;
};

struct MeshData {
    float boundsMin[3] = {1e10f, 1e10f, 1e10f};
    float boundsMax[3] = {-1e10f, -1e10f, -1e10f};
    float center[3] = {0.0f, 0.0f, 0.0f};
    // Bytes per vertex of every part (44 float, 22 half, 28 packed).
    uint32_t stride = 0;
    // In the order the node tree is walked; submeshes without triangles are
    // left out.
    std::vector<MeshPart> parts;
};
