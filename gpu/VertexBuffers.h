#pragma once
// Turns meshes into GL buffers and draws them: imported meshes (one record
// per submesh), the unit quad and point grids. Vertex data is interleaved as
// the tables of gpu/VertexLayout.h lay it out; each record's vertex array
// gets its layout once, when it is built.
//
// Every function that touches GL needs the demo's context current.
#include <GL/glew.h>

#include "gpu/Mesh.h"
#include "gpu/MeshRegistry.h"
#include "gpu/TransformFeedback.h"
#include "gpu/VertexLayout.h"

#include <cstdint>
#include <vector>

class Shader;
struct aiMesh;

// --- CPU side of the mesh build (also used by tests and the benchmark) ---

// The factor autoScale applies: the longest side of the box becomes 2 units.
// Axes without extent (a flat mesh) are left out; with no extent at all the
// factor is 1.
float meshScaleFactor(const Mesh& mesh);

// One submesh in float form, with three indices per triangle.
struct SubmeshData {
    std::vector<float> vertices; // kMeshFloatsPerVertex per vertex
    std::vector<uint32_t> indices;
};

// Fills out from part: positions centred and scaled as the mesh's flags say,
// normals (flipped with flipNormals), the first uv set and tangents, zeros
// for what the submesh lacks. Faces give their first three indices; faces of
// fewer than three vertices, or with an index beyond the vertex count, are
// left out.
void buildSubmeshData(const Mesh& mesh, const aiMesh& part, SubmeshData& out);

// The float form converted to storage (byte copy for Float).
std::vector<uint8_t> encodeVertices(const std::vector<float>& floats, VertexStorage storage);

// Grid points row by row: u = column / (width - 1), v = row / (height - 1),
// 0, column, row; a width or height of 1 gives 0 for u or v. Stored as the
// grid layout of the flags lays them out: five floats (20 bytes) per point,
// five halves (10 bytes) with halfFloats, or with intPack three words
// (12 bytes): (u, v) (0, 0) (column, row) as halves.
std::vector<uint8_t> pointGridData(int width, int height, bool halfFloats, bool intPack);

// The whole mesh as it goes to the GPU, from its scene: the node tree
// walked from the root depth first, one part per mesh index of a node that
// has triangles, each in the storage form the mesh's flags choose. Any
// thread may build it for a mesh of its own. Without a scene only the box
// and the stride are set.
void buildMeshData(const Mesh& mesh, MeshData& out);

// --- GL ---

// Builds the records of an imported mesh once, one per part of its data
// (the handed-over data, else buildMeshData from its scene), and frees the
// handed-over data. Does nothing for a mesh with neither or one already
// built.
void buildMeshBuffers(Mesh& mesh);

// Builds the GPU buffers of every mesh of the table that has none yet, so
// that the uploads happen before the music starts rather than at each
// mesh's first draw. The frame runs it when file playback starts.
void uploadPendingMeshes(const MeshTable& meshes);

// Replaces the mesh's records by a grid of width x height points. With
// transform feedback and varyings, the records are laid out by the varyings
// and the particle ring (gpu/TransformFeedback.h) is made for width x height
// items, kept from the previous grid when that had the same size; otherwise
// the grid data is uploaded. A grid of no points, one too large to address,
// or one whose ring cannot be made, logs and leaves the mesh without records.
void createCustomPointGridVBO(Mesh& mesh, int width, int height, int seedCount, bool useTransformFeedback,
                              const std::vector<Varying>& varyings);

// Makes the unit quad (0,0,0) (1,0,0) (1,1,0) (0,1,0), two triangles.
void createCustomQuadVBO(Mesh& mesh);

// Deletes the mesh's GL objects (its particle ring's too) and its records.
void releaseMeshBuffers(Mesh& mesh);

// Draws every record. pass is the particle pass (0 capture, 1 display,
// 2 capture left running, 3 end of that capture), used only by records with
// a transform feedback ring (runFeedbackPass, with the frame's capture state
// and the current shader). An instanced mesh reads its instances from the
// ring of its instance grid. Builds the buffers first when needed.
void drawMesh(Mesh& mesh, int pass, FeedbackState& feedback, Shader* shader);
