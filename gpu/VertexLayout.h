#pragma once
// How vertices lie in a buffer: per storage kind one table, a stride and per
// attribute its location, components, GL type and byte offset, and which of
// the values of the float form it holds. The tables feed the attribute
// pointers of a vertex array (set once, when the array is built), the
// strides the particle passes check, and the encoders that turn the float
// form into the stored bytes.
//
// Storage kinds:
//   imported meshes, float form (44 bytes): position xyz, normal xyz, uv,
//     tangent xyz as floats;
//   imported, half (22 bytes): the same eleven values as IEEE half floats;
//   imported, packed (28 bytes): seven 32-bit words of two halves each, the
//     first in the low bits: (x, y) (z, 0) (nx, ny) (nz, 0) (u, v) (tx, ty)
//     (tz, 0);
//   the quad (12 bytes): position xyz;
//   point grids (20, 10 or 12 bytes): u, v, 0, column, row as floats, as
//     halves, or packed as (u, v) (0, 0) (column, row);
//   point grids that transform feedback writes: the varyings in order, four
//     bytes a component (two for the float components of a half-float grid,
//     whose integers sit at word boundaries and whose items are whole
//     words).
//
// The GL calls need the demo's context current.
#include <GL/glew.h>

#include "gpu/Mesh.h"
#include "gpu/Varyings.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Attribute locations a layout may use; instances start after the four
// mesh attributes.
constexpr GLuint kMaxVertexAttributes = 16;
constexpr GLuint kFirstInstanceAttribute = 4;

struct VertexAttribute {
    GLuint location = 0;
    GLint components = 0;
    // GL_FLOAT, GL_HALF_FLOAT or GL_UNSIGNED_INT. A packed attribute holds
    // two halves a component.
    GLenum type = GL_FLOAT;
    // Read by the shader as integers (glVertexAttribIPointer); otherwise
    // converted to float.
    bool integer = false;
    GLsizei stride = 0;
    size_t offset = 0;
    // The values of the float form this attribute stores: from
    // sourceFirst, sourceCount of them (a packed attribute pads the last
    // pair with 0).
    int sourceFirst = 0;
    int sourceCount = 0;
};

struct VertexLayout {
    GLsizei stride = 0;
    int count = 0;
    VertexAttribute attributes[kMaxVertexAttributes];

    // Appends an attribute at the next location, of the layout's stride.
    void add(GLint components, GLenum type, bool integer, size_t offset, int sourceFirst, int sourceCount);
};

// How the vertices of an imported mesh are stored: halfFloats selects Half,
// halfFloats with intPack Packed; intPack alone keeps Float.
enum class VertexStorage { Float, Half, Packed };
VertexStorage meshStorage(const Mesh& mesh);

// Values per vertex of the float form of an imported mesh, and of a point
// grid point.
constexpr int kMeshFloatsPerVertex = 11;
constexpr int kGridFloatsPerPoint = 5;

// The tables.
const VertexLayout& importedLayout(VertexStorage storage);
const VertexLayout& quadLayout();
const VertexLayout& gridLayout(bool halfFloats, bool intPack);
// A grid laid out by transform feedback varyings, in declaration order:
// float components take four bytes (two with halfFloats), integer
// components four at a four-byte boundary; the stride is the item's bytes
// rounded up to whole words. A grid's ring holds items of this stride.
VertexLayout varyingsLayout(const std::vector<Varying>& varyings, bool halfFloats);
// The per-instance attributes that read a ring of these varyings, from
// location 4 on; integer varyings reach the shader converted to float.
VertexLayout instanceLayout(const std::vector<Varying>& varyings);

// The layout of a mesh as its kind, flags and varyings lay it out.
VertexLayout meshLayout(const Mesh& mesh);
int vertexStride(VertexStorage storage);
// Stride in bytes of one vertex (or grid item) of the mesh as laid out.
int layoutStride(const Mesh& mesh);

// The stored bytes of `vertices` vertices of the float form (floatsPerVertex
// values each) in the layout.
std::vector<uint8_t> encodeVertexData(const VertexLayout& layout, const float* source, int floatsPerVertex,
                                      size_t vertices);

// Sets and enables the attribute pointers of the layout for the buffer bound
// as GL_ARRAY_BUFFER, in the vertex array bound now; instanced attributes
// get a divisor of 1.
void applyVertexLayout(const VertexLayout& layout, bool perInstance = false);
void applyVertexLayout(const Mesh& mesh);

// Disables attributes from..15 and sets their divisors back to 0.
void resetVertexLayout(GLuint from = 0);
