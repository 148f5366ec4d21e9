#pragma once
// A mesh: an imported mesh file, or a procedural vertex buffer (the unit quad
// or a point grid), together with the GPU buffers drawn from it.
//
// Meshes are shared through the tables of gpu/MeshRegistry.h and live as
// long as their GPU resources (gpu/GpuResources.h), which release their GL
// names with the context. A Mesh owns its imported scene; its GL names are
// otherwise deleted only when a point grid is rebuilt (gpu/VertexBuffers.h).
#include <GL/glew.h>

#include "gpu/MeshData.h"
#include "gpu/Varyings.h"

#include <memory>
#include <string>
#include <vector>

struct aiScene;
// The particle ring of a point grid record (gpu/TransformFeedback.h).
struct TransformFeedback;

// What a mesh's buffers hold; it decides the vertex layout.
enum MeshKind {
    MeshKindImported = 0,
    MeshKindQuad = 1,
    MeshKindPointGrid = 2,
};

// The GPU buffers of one draw: a submesh of an imported mesh, the quad, or a
// point grid. The vertex array holds the attribute layout, set once when the
// record is built (gpu/VertexLayout.h).
struct MeshRecord {
    GLuint vertexArray = 0;
    GLuint vertexBuffer = 0;
    GLuint indexBuffer = 0;  // 0 for point grids
    GLsizei vertexCount = 0; // vertices of a non-indexed draw
    GLsizei indexCount = 0;  // 32-bit indices
    GLenum primitiveMode = GL_TRIANGLES;

    // The particle ring of a grid that transform feedback writes, else null.
    std::shared_ptr<TransformFeedback> transformFeedback;
    bool seeded = false;  // the ring has been fed from the seed slot
    int currentSlot = 0;  // ring position
};

struct Mesh {
    Mesh();
    ~Mesh();
    Mesh(const Mesh&) = delete;
    Mesh& operator=(const Mesh&) = delete;

    // Imports path with Assimp (relative to the working directory, not
    // through the data pack) and measures the bounding box. A path holding
    // "partemit" anywhere is imported raw: no triangulation, no generated
    // normals. Otherwise smoothNormals replaces the file's normals and
    // tangents by smooth normals up to smoothingAngle degrees. Logs
    // "loading mesh file:" with the path and "loaded file:<path> in ms:<ms>".
    // Returns true when no scene came back (the mesh then draws nothing).
    bool importMesh(const std::string& path, bool smoothNormals, float smoothingAngle, bool flipNormals);
    // The same import without a log line, which any thread may run on a
    // mesh of its own; error gets the importer's message on failure.
    bool importScene(const std::string& path, bool smoothNormals, float smoothingAngle, bool flipNormals,
                     std::string& error);
    // Frees the imported scene (a newer import takes the mesh's place).
    void releaseScene();

    // --- Import ---
    const aiScene* scene = nullptr; // owned; null when the import failed
    std::string path;
    // Box of every vertex position transformed by its node's accumulated
    // transformation from the root; starts inverted (+1e10 / -1e10).
    float boundsMin[3] = {1e10f, 1e10f, 1e10f};
    float boundsMax[3] = {-1e10f, -1e10f, -1e10f};
    float center[3] = {0.0f, 0.0f, 0.0f};
    bool flipNormals = false;
    // Set by the mesh item before the import.
    bool halfFloats = false;
    bool intPack = false;
    bool autoScale = true;
    bool autoCenter = true;

    // --- Import off the render thread (gpu/MeshImports.h) ---
    // What an import handed over and the frame has not uploaded yet; the
    // upload frees it. Takes the place of scene for such meshes.
    std::unique_ptr<MeshData> data;
    bool importPending = false;  // asked for, not handed over yet
    bool importGivenUp = false;  // ran past the time limit: draws nothing
    // The file as it was when its import was asked for; a different one
    // (edited, replaced) makes the next resolution import it again.
    uint64_t requestedSize = 0;
    uint64_t requestedWriteTime = 0;

    // --- GPU buffers ---
    int kind = MeshKindImported;
    std::vector<MeshRecord> records;
    bool buffersBuilt = false; // an imported scene is turned into records once
    // Milliseconds its import on the render thread (importMesh) and its
    // buffers' upload took, all together (the frame adds them into
    // start-up's split; an import on a worker costs the frame nothing).
    double loadMs = 0.0;
    // Point grid: its size, the number of seed points handed to the
    // particle passes, and the varyings its records are laid out by when
    // transform feedback writes them (empty: the plain grid layout).
    int gridWidth = 0;
    int gridHeight = 0;
    int seedCount = 0;
    std::vector<Varying> layoutVaryings;

    // --- Instancing, given by the mesh item before each draw ---
    bool instanced = false;
    // The point grid whose newest particles feed the instances; null when
    // the grid is not there (yet).
    const Mesh* instanceGrid = nullptr;
    int instanceCount = 0;
    std::vector<Varying> instanceVaryings;

    // --- Particles ---
    bool resetRequested = false;  // a new seed is wanted; spent by the capture that seeds
    unsigned particleCount = 0;   // as last counted by the particle passes
};
