#include <GL/glew.h>

#include "gpu/VertexBuffers.h"

#include "gpu/HalfFloat.h"
#include "gpu/MeshRegistry.h"
#include "gpu/TransformFeedback.h"

#include <assimp/scene.h>

#include <QDebug>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace {

// Attribute indices the layouts may use; instances start after the four
// mesh attributes.
const GLuint kMaxAttributes = 16;
const GLuint kFirstInstanceAttribute = 4;

// Largest buffer a grid may ask for. Keeps the byte counts of absurd sizes
// from overflowing and the driver from being asked for gigabytes.
const int64_t kMaxGridBytes = int64_t(1) << 31;

const void* byteOffset(size_t offset)
{
    return reinterpret_cast<const void*>(offset);
}

void floatAttribute(GLuint index, GLint components, GLenum type, GLsizei stride, size_t offset)
{
    glEnableVertexAttribArray(index);
    glVertexAttribPointer(index, components, type, GL_FALSE, stride, byteOffset(offset));
}

void uintAttribute(GLuint index, GLint components, GLsizei stride, size_t offset)
{
    glEnableVertexAttribArray(index);
    glVertexAttribIPointer(index, components, GL_UNSIGNED_INT, stride, byteOffset(offset));
}

int varyingFloats(const std::vector<Varying>& varyings)
{
    int total = 0;
    for (const Varying& v : varyings)
        total += varyingComponents(v.type);
    return total;
}

void deleteRecords(Mesh& mesh)
{
    for (MeshRecord& record : mesh.records) {
        glDeleteVertexArrays(1, &record.vertexArray);
        glDeleteBuffers(1, &record.vertexBuffer);
        if (record.indexBuffer)
            glDeleteBuffers(1, &record.indexBuffer);
        if (record.transformFeedback)
            record.transformFeedback->release();
    }
    mesh.records.clear();
}

// Takes the particle ring out of a grid about to be rebuilt, so that the new
// grid can keep its buffers when its size is the same.
std::shared_ptr<TransformFeedback> takeRing(Mesh& mesh)
{
    std::shared_ptr<TransformFeedback> ring;
    for (MeshRecord& record : mesh.records) {
        if (record.transformFeedback && !ring)
            ring = std::move(record.transformFeedback);
    }
    return ring;
}

void applyImportedLayout(const Mesh& mesh)
{
    switch (meshStorage(mesh)) {
    case VertexStorage::Float:
        floatAttribute(0, 3, GL_FLOAT, 44, 0);
        floatAttribute(1, 3, GL_FLOAT, 44, 12);
        floatAttribute(2, 2, GL_FLOAT, 44, 24);
        floatAttribute(3, 3, GL_FLOAT, 44, 32);
        break;
    case VertexStorage::Half:
        floatAttribute(0, 3, GL_HALF_FLOAT, 22, 0);
        floatAttribute(1, 3, GL_HALF_FLOAT, 22, 6);
        floatAttribute(2, 2, GL_HALF_FLOAT, 22, 12);
        floatAttribute(3, 3, GL_HALF_FLOAT, 22, 16);
        break;
    case VertexStorage::Packed:
        uintAttribute(0, 2, 28, 0);
        uintAttribute(1, 2, 28, 8);
        uintAttribute(2, 1, 28, 16);
        uintAttribute(3, 2, 28, 20);
        break;
    }
    if (mesh.instanced) {
        for (GLuint i = 0; i < 4; ++i)
            glVertexAttribDivisor(i, 0);
    }
}

void applyGridLayout(const Mesh& mesh)
{
    if (mesh.layoutVaryings.empty()) {
        if (mesh.intPack) {
            uintAttribute(0, 2, 12, 0);
            uintAttribute(1, 1, 12, 8);
        } else if (mesh.halfFloats) {
            floatAttribute(0, 3, GL_HALF_FLOAT, 10, 0);
            floatAttribute(1, 2, GL_HALF_FLOAT, 10, 6);
        } else {
            floatAttribute(0, 3, GL_FLOAT, 20, 0);
            floatAttribute(1, 2, GL_FLOAT, 20, 12);
        }
        return;
    }
    const GLsizei stride = 4 * varyingFloats(mesh.layoutVaryings);
    size_t offset = 0;
    GLuint index = 0;
    for (const Varying& v : mesh.layoutVaryings) {
        if (index >= kMaxAttributes)
            break;
        const int components = varyingComponents(v.type);
        if (varyingIsInteger(v.type))
            uintAttribute(index, components, stride, offset);
        else if (mesh.halfFloats)
            floatAttribute(index, components, GL_HALF_FLOAT, stride / 2, offset / 2);
        else
            floatAttribute(index, components, GL_FLOAT, stride, offset);
        offset += size_t(4 * components);
        ++index;
    }
}

// Per-instance attributes from the point grid named by the mesh; false when
// there is nothing to read them from.
bool bindInstanceSource(const Mesh& mesh, GLsizei& count)
{
    const Mesh* grid = findVertexBuffer("pointGrid" + mesh.instanceBuffer);
    if (!grid || grid->records.empty())
        return false;
    const GLuint source = feedbackInstanceBuffer(grid->records.front());
    const GLsizei stride = 4 * varyingFloats(mesh.instanceVaryings);
    if (!source || stride <= 0)
        return false;
    // The ring holds one item per grid point, of the grid's own size; more
    // instances, or larger ones, would read past its end.
    const int64_t items = int64_t(grid->gridWidth) * grid->gridHeight;
    const int64_t fit = grid->records.front().transformFeedback->byteSize / stride;
    count = GLsizei(std::min<int64_t>({int64_t(mesh.instanceCount), items, fit}));
    if (count <= 0)
        return false;

    glBindBuffer(GL_ARRAY_BUFFER, source);
    size_t offset = 0;
    GLuint index = kFirstInstanceAttribute;
    for (const Varying& v : mesh.instanceVaryings) {
        if (index >= kMaxAttributes)
            break;
        const int components = varyingComponents(v.type);
        // Integer varyings reach the shader converted to float here.
        floatAttribute(index, components, varyingIsInteger(v.type) ? GL_UNSIGNED_INT : GL_FLOAT, stride, offset);
        glVertexAttribDivisor(index, 1);
        offset += size_t(4 * components);
        ++index;
    }
    return true;
}

void drawRecord(Mesh& mesh, MeshRecord& record, int pass)
{
    glBindVertexArray(record.vertexArray);
    if (record.transformFeedback) {
        runFeedbackPass(record, mesh, pass);
        return;
    }
    if (record.primitiveMode == GL_TRIANGLES) {
        glBindBuffer(GL_ARRAY_BUFFER, record.vertexBuffer);
        if (!record.indexBuffer) {
            // A point grid switched to triangles has no indices: its points
            // are taken three at a time. An indexed draw without an index
            // buffer would read indices from client memory at address 0.
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
            applyVertexLayout(mesh);
            glDrawArrays(GL_TRIANGLES, 0, record.vertexCount);
            return;
        }
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, record.indexBuffer);
        applyVertexLayout(mesh);
        if (mesh.instanced) {
            GLsizei instances = 0;
            if (bindInstanceSource(mesh, instances))
                glDrawElementsInstanced(GL_TRIANGLES, record.indexCount, GL_UNSIGNED_INT, nullptr, instances);
        } else {
            glDrawElements(GL_TRIANGLES, record.indexCount, GL_UNSIGNED_INT, nullptr);
        }
    } else if (record.primitiveMode == GL_POINTS) {
        glBindBuffer(GL_ARRAY_BUFFER, record.vertexBuffer);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
        applyVertexLayout(mesh);
        glDrawArrays(GL_POINTS, 0, record.vertexCount);
    }
}

} // namespace

VertexStorage meshStorage(const Mesh& mesh)
{
    if (!mesh.halfFloats)
        return VertexStorage::Float;
    return mesh.intPack ? VertexStorage::Packed : VertexStorage::Half;
}

int vertexStride(VertexStorage storage)
{
    switch (storage) {
    case VertexStorage::Half:
        return 22;
    case VertexStorage::Packed:
        return 28;
    case VertexStorage::Float:
        break;
    }
    return 44;
}

float meshScaleFactor(const Mesh& mesh)
{
    bool found = false;
    float factor = 1.0f;
    for (int axis = 0; axis < 3; ++axis) {
        const float extent = mesh.boundsMax[axis] - mesh.boundsMin[axis];
        if (!(extent > 0.0f))
            continue;
        const float axisFactor = 2.0f / extent;
        factor = found ? std::min(factor, axisFactor) : axisFactor;
        found = true;
    }
    return factor;
}

void buildSubmeshData(const Mesh& mesh, const aiMesh& part, SubmeshData& out)
{
    const unsigned vertexCount = part.mVertices ? part.mNumVertices : 0;

    out.indices.clear();
    out.indices.reserve(size_t(part.mNumFaces) * 3);
    for (unsigned f = 0; f < part.mNumFaces; ++f) {
        const aiFace& face = part.mFaces[f];
        if (face.mNumIndices < 3 || !face.mIndices)
            continue;
        const unsigned a = face.mIndices[0], b = face.mIndices[1], c = face.mIndices[2];
        if (a >= vertexCount || b >= vertexCount || c >= vertexCount)
            continue;
        out.indices.push_back(a);
        out.indices.push_back(b);
        out.indices.push_back(c);
    }

    const float scale = mesh.autoScale ? meshScaleFactor(mesh) : 1.0f;
    const float cx = mesh.autoCenter ? mesh.center[0] : 0.0f;
    const float cy = mesh.autoCenter ? mesh.center[1] : 0.0f;
    const float cz = mesh.autoCenter ? mesh.center[2] : 0.0f;
    const float sign = mesh.flipNormals ? -1.0f : 1.0f;
    const aiVector3D* normals = part.mNormals;
    const aiVector3D* uvs = part.mTextureCoords[0];
    const aiVector3D* tangents = part.mTangents;

    out.vertices.assign(size_t(vertexCount) * kMeshFloatsPerVertex, 0.0f);
    float* o = out.vertices.data();
    for (unsigned v = 0; v < vertexCount; ++v, o += kMeshFloatsPerVertex) {
        const aiVector3D& p = part.mVertices[v];
        o[0] = (p.x - cx) * scale;
        o[1] = (p.y - cy) * scale;
        o[2] = (p.z - cz) * scale;
        if (normals) {
            o[3] = sign * normals[v].x;
            o[4] = sign * normals[v].y;
            o[5] = sign * normals[v].z;
        }
        if (uvs) {
            o[6] = uvs[v].x;
            o[7] = uvs[v].y;
        }
        if (tangents) {
            o[8] = tangents[v].x;
            o[9] = tangents[v].y;
            o[10] = tangents[v].z;
        }
    }
}

std::vector<uint8_t> encodeVertices(const std::vector<float>& floats, VertexStorage storage)
{
    std::vector<uint8_t> bytes;
    const size_t vertices = floats.size() / kMeshFloatsPerVertex;
    switch (storage) {
    case VertexStorage::Float:
        bytes.resize(vertices * kMeshFloatsPerVertex * sizeof(float));
        if (!bytes.empty())
            std::memcpy(bytes.data(), floats.data(), bytes.size());
        break;
    case VertexStorage::Half: {
        bytes.resize(vertices * kMeshFloatsPerVertex * sizeof(uint16_t));
        uint8_t* out = bytes.data();
        for (size_t i = 0; i < vertices * kMeshFloatsPerVertex; ++i, out += 2) {
            const uint16_t h = floatToHalf(floats[i]);
            std::memcpy(out, &h, 2);
        }
        break;
    }
    case VertexStorage::Packed: {
        bytes.resize(vertices * 7 * sizeof(uint32_t));
        uint8_t* out = bytes.data();
        for (size_t v = 0; v < vertices; ++v) {
            const float* f = &floats[v * kMeshFloatsPerVertex];
            const uint32_t words[7] = {packHalf2(f[0], f[1]), packHalf2(f[2], 0.0f), packHalf2(f[3], f[4]),
                                       packHalf2(f[5], 0.0f), packHalf2(f[6], f[7]), packHalf2(f[8], f[9]),
                                       packHalf2(f[10], 0.0f)};
            std::memcpy(out, words, sizeof words);
            out += sizeof words;
        }
        break;
    }
    }
    return bytes;
}

std::vector<uint8_t> pointGridData(int width, int height, bool halfFloats, bool intPack)
{
    std::vector<uint8_t> bytes;
    if (width <= 0 || height <= 0)
        return bytes;
    const size_t points = size_t(width) * size_t(height);
    const size_t pointBytes = intPack ? 12 : halfFloats ? 10 : 20;
    bytes.resize(points * pointBytes);
    uint8_t* out = bytes.data();
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column) {
            // A single column or row has nothing to divide by; it sits at 0.
            const float u = width > 1 ? float(column) / float(width - 1) : 0.0f;
            const float v = height > 1 ? float(row) / float(height - 1) : 0.0f;
            if (intPack) {
                const uint32_t words[3] = {packHalf2(u, v), packHalf2(0.0f, 0.0f),
                                           packHalf2(float(column), float(row))};
                std::memcpy(out, words, sizeof words);
            } else if (halfFloats) {
                const uint16_t halves[5] = {floatToHalf(u), floatToHalf(v), floatToHalf(0.0f),
                                            floatToHalf(float(column)), floatToHalf(float(row))};
                std::memcpy(out, halves, sizeof halves);
            } else {
                const float values[5] = {u, v, 0.0f, float(column), float(row)};
                std::memcpy(out, values, sizeof values);
            }
            out += pointBytes;
        }
    }
    return bytes;
}

void buildMeshBuffers(Mesh& mesh)
{
    if (!mesh.scene || mesh.buffersBuilt)
        return;
    mesh.buffersBuilt = true;
    const aiScene* scene = mesh.scene;
    if (!scene->mRootNode)
        return;
    const VertexStorage storage = meshStorage(mesh);
    SubmeshData data;
    std::vector<const aiNode*> pending{scene->mRootNode};
    while (!pending.empty()) {
        const aiNode* node = pending.back();
        pending.pop_back();
        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            if (node->mMeshes[i] >= scene->mNumMeshes)
                continue;
            buildSubmeshData(mesh, *scene->mMeshes[node->mMeshes[i]], data);
            if (data.indices.empty())
                continue; // points or lines only: nothing to draw as triangles

            MeshRecord record;
            glGenVertexArrays(1, &record.vertexArray);
            // The index buffer binding belongs to the vertex array; bind ours
            // so that no other vertex array's binding changes.
            glBindVertexArray(record.vertexArray);
            glGenBuffers(1, &record.vertexBuffer);
            glBindBuffer(GL_ARRAY_BUFFER, record.vertexBuffer);
            if (storage == VertexStorage::Float) {
                glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(data.vertices.size() * sizeof(float)),
                             data.vertices.data(), GL_STATIC_DRAW);
            } else {
                const std::vector<uint8_t> bytes = encodeVertices(data.vertices, storage);
                glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(bytes.size()), bytes.data(), GL_STATIC_DRAW);
            }
            mesh.kind = MeshKindImported;

            glGenBuffers(1, &record.indexBuffer);
            glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, record.indexBuffer);
            glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(data.indices.size() * sizeof(uint32_t)),
                         data.indices.data(), GL_STATIC_DRAW);

            record.indexCount = GLsizei(data.indices.size());
            record.vertexCount = GLsizei(data.vertices.size() / kMeshFloatsPerVertex);
            record.primitiveMode = GL_TRIANGLES;
            mesh.records.push_back(std::move(record));
            glBindVertexArray(0);
        }
        for (unsigned c = node->mNumChildren; c-- > 0;) {
            if (node->mChildren[c])
                pending.push_back(node->mChildren[c]);
        }
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void createCustomPointGridVBO(Mesh& mesh, int width, int height, int seedCount, bool useTransformFeedback,
                              const std::vector<Varying>& varyings)
{
    std::shared_ptr<TransformFeedback> ring = takeRing(mesh);
    deleteRecords(mesh);
    qDebug() << "createCustomPointGridVBO called with size:" << width << "," << height;
    mesh.gridWidth = width;
    mesh.gridHeight = height;
    mesh.seedCount = seedCount;
    mesh.kind = MeshKindPointGrid;
    const int64_t points = int64_t(width) * int64_t(height);
    qDebug() << "createCustomPointGridVBO with number of points:" << points;

    const bool fromVaryings = useTransformFeedback && !varyings.empty();
    const int floatsPerItem = fromVaryings ? varyingFloats(varyings) : 5;
    if (width <= 0 || height <= 0 || points * 4 * floatsPerItem > kMaxGridBytes) {
        qDebug() << "createCustomPointGridVBO: no buffer for a grid of that size";
        mesh.layoutVaryings.clear();
        if (ring)
            ring->release();
        return;
    }
    if (fromVaryings) {
        qDebug("numFloatsPerItem is:%d", floatsPerItem);
        if (!ring)
            ring = std::make_shared<TransformFeedback>();
        if (!ring->create(floatsPerItem, int(points), mesh.halfFloats)) {
            // Without its ring the grid has nothing to draw.
            mesh.layoutVaryings.clear();
            return;
        }
    } else if (ring) {
        ring->release();
    }

    MeshRecord record;
    glGenVertexArrays(1, &record.vertexArray);
    glBindVertexArray(record.vertexArray);
    glGenBuffers(1, &record.vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, record.vertexBuffer);
    if (fromVaryings) {
        // The particles live in the ring; the grid's own buffer stays empty.
        mesh.layoutVaryings = varyings;
        record.transformFeedback = std::move(ring);
    } else {
        mesh.layoutVaryings.clear();
        const std::vector<uint8_t> bytes = pointGridData(width, height, mesh.halfFloats, mesh.intPack);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(bytes.size()), bytes.data(), GL_STATIC_DRAW);
    }

    applyVertexLayout(mesh);
    record.vertexCount = GLsizei(points);
    record.primitiveMode = GL_POINTS;
    mesh.records.push_back(std::move(record));
    resetVertexLayout();
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

void createCustomQuadVBO(Mesh& mesh)
{
    qDebug() << "createCustomQuadVBO called!";
    deleteRecords(mesh);
    static const float vertices[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    static const uint32_t indices[6] = {0, 1, 2, 0, 2, 3};

    MeshRecord record;
    glGenVertexArrays(1, &record.vertexArray);
    qDebug() << "created vao with handle:" << record.vertexArray;
    glBindVertexArray(record.vertexArray);
    glGenBuffers(1, &record.vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, record.vertexBuffer);
    glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STATIC_DRAW);
    glGenBuffers(1, &record.indexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, record.indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof indices, indices, GL_STATIC_DRAW);

    mesh.kind = MeshKindQuad;
    applyVertexLayout(mesh);
    record.vertexCount = 4;
    record.indexCount = 6;
    record.primitiveMode = GL_TRIANGLES;
    mesh.records.push_back(std::move(record));
    resetVertexLayout();
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, 0);
}

int layoutStride(const Mesh& mesh)
{
    switch (mesh.kind) {
    case MeshKindImported:
        return vertexStride(meshStorage(mesh));
    case MeshKindQuad:
        return 12;
    case MeshKindPointGrid:
        if (!mesh.layoutVaryings.empty()) {
            const int stride = 4 * varyingFloats(mesh.layoutVaryings);
            return mesh.halfFloats ? stride / 2 : stride;
        }
        return mesh.intPack ? 12 : mesh.halfFloats ? 10 : 20;
    default:
        return 0;
    }
}

void applyVertexLayout(const Mesh& mesh)
{
    switch (mesh.kind) {
    case MeshKindImported:
        applyImportedLayout(mesh);
        break;
    case MeshKindQuad:
        floatAttribute(0, 3, GL_FLOAT, 0, 0);
        break;
    case MeshKindPointGrid:
        applyGridLayout(mesh);
        break;
    default:
        break;
    }
}

void resetVertexLayout()
{
    for (GLuint i = 0; i < kMaxAttributes; ++i) {
        glDisableVertexAttribArray(i);
        glVertexAttribDivisor(i, 0);
    }
}

void drawMesh(Mesh& mesh, int pass)
{
    buildMeshBuffers(mesh);
    for (MeshRecord& record : mesh.records) {
        drawRecord(mesh, record, pass);
        // Each record's vertex array is left with nothing enabled, so no
        // stale pointer of this draw is fetched by a later one.
        resetVertexLayout();
    }
    resetVertexLayout();
    mesh.resetRequested = false;
    glBindVertexArray(0);
    // Later GL code (Qt Quick's among it) must not find our buffer bound.
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}
