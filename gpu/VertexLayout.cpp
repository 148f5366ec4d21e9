#include "gpu/VertexLayout.h"

#include "gpu/HalfFloat.h"

#include <cstring>

namespace {

const void* byteOffset(size_t offset)
{
    return reinterpret_cast<const void*>(offset);
}

VertexLayout makeLayout(GLsizei stride)
{
    VertexLayout layout;
    layout.stride = stride;
    return layout;
}

const VertexLayout kImportedFloat = [] {
    VertexLayout l = makeLayout(44);
    l.add(3, GL_FLOAT, false, 0, 0, 3);  // position
    l.add(3, GL_FLOAT, false, 12, 3, 3); // normal
    l.add(2, GL_FLOAT, false, 24, 6, 2); // uv
    l.add(3, GL_FLOAT, false, 32, 8, 3); // tangent
    return l;
}();

const VertexLayout kImportedHalf = [] {
    VertexLayout l = makeLayout(22);
    l.add(3, GL_HALF_FLOAT, false, 0, 0, 3);
    l.add(3, GL_HALF_FLOAT, false, 6, 3, 3);
    l.add(2, GL_HALF_FLOAT, false, 12, 6, 2);
    l.add(3, GL_HALF_FLOAT, false, 16, 8, 3);
    return l;
}();

const VertexLayout kImportedPacked = [] {
    VertexLayout l = makeLayout(28);
    l.add(2, GL_UNSIGNED_INT, true, 0, 0, 3);
    l.add(2, GL_UNSIGNED_INT, true, 8, 3, 3);
    l.add(1, GL_UNSIGNED_INT, true, 16, 6, 2);
    l.add(2, GL_UNSIGNED_INT, true, 20, 8, 3);
    return l;
}();

const VertexLayout kQuad = [] {
    VertexLayout l = makeLayout(12);
    l.add(3, GL_FLOAT, false, 0, 0, 3);
    return l;
}();

const VertexLayout kGridFloat = [] {
    VertexLayout l = makeLayout(20);
    l.add(3, GL_FLOAT, false, 0, 0, 3);  // u, v, 0
    l.add(2, GL_FLOAT, false, 12, 3, 2); // column, row
    return l;
}();

const VertexLayout kGridHalf = [] {
    VertexLayout l = makeLayout(10);
    l.add(3, GL_HALF_FLOAT, false, 0, 0, 3);
    l.add(2, GL_HALF_FLOAT, false, 6, 3, 2);
    return l;
}();

const VertexLayout kGridPacked = [] {
    VertexLayout l = makeLayout(12);
    l.add(2, GL_UNSIGNED_INT, true, 0, 0, 3);
    l.add(1, GL_UNSIGNED_INT, true, 8, 3, 2);
    return l;
}();

int varyingFloats(const std::vector<Varying>& varyings)
{
    int total = 0;
    for (const Varying& v : varyings)
        total += varyingComponents(v.type);
    return total;
}

// The value of the float form at index i of a vertex's sourceCount values,
// 0 past them (the padding of a packed pair).
float sourceValue(const float* vertex, const VertexAttribute& a, int i)
{
    return i < a.sourceCount ? vertex[a.sourceFirst + i] : 0.0f;
}

} // namespace

void VertexLayout::add(GLint components, GLenum type, bool integer, size_t offset, int sourceFirst,
                       int sourceCount)
{
    if (count >= int(kMaxVertexAttributes))
        return;
    VertexAttribute& a = attributes[count];
    a.location = GLuint(count);
    a.components = components;
    a.type = type;
    a.integer = integer;
    a.stride = stride;
    a.offset = offset;
    a.sourceFirst = sourceFirst;
    a.sourceCount = sourceCount;
    ++count;
}

VertexStorage meshStorage(const Mesh& mesh)
{
    if (!mesh.halfFloats)
        return VertexStorage::Float;
    return mesh.intPack ? VertexStorage::Packed : VertexStorage::Half;
}

const VertexLayout& importedLayout(VertexStorage storage)
{
    switch (storage) {
    case VertexStorage::Half:
        return kImportedHalf;
    case VertexStorage::Packed:
        return kImportedPacked;
    case VertexStorage::Float:
        break;
    }
    return kImportedFloat;
}

const VertexLayout& quadLayout()
{
    return kQuad;
}

const VertexLayout& gridLayout(bool halfFloats, bool intPack)
{
    if (intPack)
        return kGridPacked;
    return halfFloats ? kGridHalf : kGridFloat;
}

VertexLayout varyingsLayout(const std::vector<Varying>& varyings, bool halfFloats)
{
    // A half-float item holds each float component in two bytes and each
    // integer component in a whole word at a word boundary; every item is a
    // whole number of words, as transform feedback writes nothing smaller.
    // Integers at the full-float offsets would lie past a ring sized for
    // halves.
    std::vector<size_t> offsets;
    size_t offset = 0;
    for (const Varying& v : varyings) {
        const size_t components = size_t(varyingComponents(v.type));
        if (!halfFloats) {
            offsets.push_back(offset);
            offset += 4 * components;
        } else if (varyingIsInteger(v.type)) {
            offset = (offset + 3) & ~size_t(3);
            offsets.push_back(offset);
            offset += 4 * components;
        } else {
            offsets.push_back(offset);
            offset += 2 * components;
        }
    }
    offset = (offset + 3) & ~size_t(3);
    VertexLayout layout = makeLayout(GLsizei(offset));
    for (size_t i = 0; i < varyings.size() && layout.count < int(kMaxVertexAttributes); ++i) {
        const Varying& v = varyings[i];
        const int components = varyingComponents(v.type);
        if (varyingIsInteger(v.type))
            layout.add(components, GL_UNSIGNED_INT, true, offsets[i], 0, 0);
        else
            layout.add(components, halfFloats ? GL_HALF_FLOAT : GL_FLOAT, false, offsets[i], 0, 0);
    }
    return layout;
}

VertexLayout instanceLayout(const std::vector<Varying>& varyings)
{
    VertexLayout layout = makeLayout(4 * varyingFloats(varyings));
    size_t offset = 0;
    for (const Varying& v : varyings) {
        if (kFirstInstanceAttribute + GLuint(layout.count) >= kMaxVertexAttributes)
            break;
        const int components = varyingComponents(v.type);
        layout.add(components, varyingIsInteger(v.type) ? GL_UNSIGNED_INT : GL_FLOAT, false, offset, 0, 0);
        layout.attributes[layout.count - 1].location = kFirstInstanceAttribute + GLuint(layout.count - 1);
        offset += size_t(4 * components);
    }
    return layout;
}

VertexLayout meshLayout(const Mesh& mesh)
{
    switch (mesh.kind) {
    case MeshKindImported:
        return importedLayout(meshStorage(mesh));
    case MeshKindQuad:
        return kQuad;
    case MeshKindPointGrid:
        if (!mesh.layoutVaryings.empty())
            return varyingsLayout(mesh.layoutVaryings, mesh.halfFloats);
        return gridLayout(mesh.halfFloats, mesh.intPack);
    default:
        return VertexLayout();
    }
}

int vertexStride(VertexStorage storage)
{
    return importedLayout(storage).stride;
}

int layoutStride(const Mesh& mesh)
{
    return meshLayout(mesh).stride;
}

std::vector<uint8_t> encodeVertexData(const VertexLayout& layout, const float* source, int floatsPerVertex,
                                      size_t vertices)
{
    std::vector<uint8_t> bytes(vertices * size_t(layout.stride));
    uint8_t* out = bytes.data();
    for (size_t v = 0; v < vertices; ++v, out += layout.stride) {
        const float* vertex = source + v * size_t(floatsPerVertex);
        for (int i = 0; i < layout.count; ++i) {
            const VertexAttribute& a = layout.attributes[i];
            uint8_t* at = out + a.offset;
            for (int c = 0; c < a.components; ++c) {
                switch (a.type) {
                case GL_HALF_FLOAT: {
                    const uint16_t h = floatToHalf(sourceValue(vertex, a, c));
                    std::memcpy(at + 2 * c, &h, 2);
                    break;
                }
                case GL_UNSIGNED_INT: {
                    const uint32_t w = packHalf2(sourceValue(vertex, a, 2 * c), sourceValue(vertex, a, 2 * c + 1));
                    std::memcpy(at + 4 * c, &w, 4);
                    break;
                }
                default: {
                    const float f = sourceValue(vertex, a, c);
                    std::memcpy(at + 4 * c, &f, 4);
                    break;
                }
                }
            }
        }
    }
    return bytes;
}

void applyVertexLayout(const VertexLayout& layout, bool perInstance)
{
    for (int i = 0; i < layout.count; ++i) {
        const VertexAttribute& a = layout.attributes[i];
        glEnableVertexAttribArray(a.location);
        if (a.integer)
            glVertexAttribIPointer(a.location, a.components, a.type, a.stride, byteOffset(a.offset));
        else
            glVertexAttribPointer(a.location, a.components, a.type, GL_FALSE, a.stride, byteOffset(a.offset));
        if (perInstance)
            glVertexAttribDivisor(a.location, 1);
    }
}

void applyVertexLayout(const Mesh& mesh)
{
    applyVertexLayout(meshLayout(mesh));
}

void resetVertexLayout(GLuint from)
{
    for (GLuint i = from; i < kMaxVertexAttributes; ++i) {
        glDisableVertexAttribArray(i);
        glVertexAttribDivisor(i, 0);
    }
}
