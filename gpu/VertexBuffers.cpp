#include <GL/glew.h>

#include "gpu/VertexBuffers.h"

#include "gpu/HalfFloat.h"
#include "gpu/Shader.h"
#include "platform/Clock.h"

#include <assimp/scene.h>

#include <QDebug>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <utility>

namespace {

// Largest buffer a grid may ask for. Keeps the byte counts of absurd sizes
// from overflowing and the driver from being asked for gigabytes.
const int64_t kMaxGridBytes = int64_t(1) << 31;

int varyingFloats(const std::vector<Varying>& varyings)
{
    int total = 0;
    for (const Varying& v : varyings)
        total += varyingComponents(v.type);
    return total;
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

// Per-instance attributes from the mesh's instance grid, set on the vertex
// array bound now; false when there is nothing to read them from.
bool bindInstanceSource(const Mesh& mesh, GLsizei& count)
{
    const Mesh* grid = mesh.instanceGrid;
    if (!grid || grid->records.empty())
        return false;
    const GLuint source = feedbackInstanceBuffer(grid->records.front());
    const VertexLayout layout = instanceLayout(mesh.instanceVaryings);
    if (!source || layout.stride <= 0)
        return false;
    // The ring holds one item per grid point, of the grid's own size; more
    // instances, or larger ones, would read past its end.
    const int64_t items = int64_t(grid->gridWidth) * grid->gridHeight;
    const int64_t fit = grid->records.front().transformFeedback->byteSize / layout.stride;
    count = GLsizei(std::min<int64_t>({int64_t(mesh.instanceCount), items, fit}));
    if (count <= 0)
        return false;

    glBindBuffer(GL_ARRAY_BUFFER, source);
    applyVertexLayout(layout, true);
    return true;
}

// A vertex array over the record's buffers, laid out once for the mesh.
void makeVertexArray(MeshRecord& record, const VertexLayout& layout)
{
    glGenVertexArrays(1, &record.vertexArray);
    // The index buffer binding belongs to the vertex array; bind ours so
    // that no other vertex array's binding changes.
    glBindVertexArray(record.vertexArray);
    glGenBuffers(1, &record.vertexBuffer);
    glBindBuffer(GL_ARRAY_BUFFER, record.vertexBuffer);
    applyVertexLayout(layout);
}

void drawRecord(Mesh& mesh, MeshRecord& record, int pass, FeedbackState& feedback, Shader* shader)
{
    if (record.transformFeedback) {
        runFeedbackPass(record, mesh, pass, feedback, shader);
        return;
    }
    glBindVertexArray(record.vertexArray);
    if (record.primitiveMode == GL_TRIANGLES) {
        if (!record.indexBuffer) {
            // A point grid switched to triangles has no indices: its points
            // are taken three at a time.
            glDrawArrays(GL_TRIANGLES, 0, record.vertexCount);
        } else if (mesh.instanced) {
            GLsizei instances = 0;
            if (bindInstanceSource(mesh, instances))
                glDrawElementsInstanced(GL_TRIANGLES, record.indexCount, GL_UNSIGNED_INT, nullptr, instances);
            // The instance attributes point into another grid's ring: the
            // next draw of this array must not read them.
            resetVertexLayout(kFirstInstanceAttribute);
        } else {
            glDrawElements(GL_TRIANGLES, record.indexCount, GL_UNSIGNED_INT, nullptr);
        }
    } else if (record.primitiveMode == GL_POINTS) {
        glDrawArrays(GL_POINTS, 0, record.vertexCount);
    }
}

} // namespace

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
    const size_t vertices = floats.size() / kMeshFloatsPerVertex;
    if (storage == VertexStorage::Float) {
        // The float form is the stored form.
        std::vector<uint8_t> bytes(vertices * kMeshFloatsPerVertex * sizeof(float));
        if (!bytes.empty())
            std::memcpy(bytes.data(), floats.data(), bytes.size());
        return bytes;
    }
    return encodeVertexData(importedLayout(storage), floats.data(), kMeshFloatsPerVertex, vertices);
}

std::vector<uint8_t> pointGridData(int width, int height, bool halfFloats, bool intPack)
{
    if (width <= 0 || height <= 0)
        return {};
    const size_t points = size_t(width) * size_t(height);
    std::vector<float> floats(points * kGridFloatsPerPoint);
    float* out = floats.data();
    for (int row = 0; row < height; ++row) {
        for (int column = 0; column < width; ++column, out += kGridFloatsPerPoint) {
            // A single column or row has nothing to divide by; it sits at 0.
            out[0] = width > 1 ? float(column) / float(width - 1) : 0.0f;
            out[1] = height > 1 ? float(row) / float(height - 1) : 0.0f;
            out[2] = 0.0f;
            out[3] = float(column);
            out[4] = float(row);
        }
    }
    return encodeVertexData(gridLayout(halfFloats, intPack), floats.data(), kGridFloatsPerPoint, points);
}

void buildMeshData(const Mesh& mesh, MeshData& out)
{
    out = MeshData();
    for (int axis = 0; axis < 3; ++axis) {
        out.boundsMin[axis] = mesh.boundsMin[axis];
        out.boundsMax[axis] = mesh.boundsMax[axis];
        out.center[axis] = mesh.center[axis];
    }
    const VertexStorage storage = meshStorage(mesh);
    out.stride = uint32_t(vertexStride(storage));
    const aiScene* scene = mesh.scene;
    if (!scene || !scene->mRootNode)
        return;
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
            MeshPart part;
            part.vertexCount = uint32_t(data.vertices.size() / kMeshFloatsPerVertex);
            part.vertices = encodeVertices(data.vertices, storage);
            part.indices = std::move(data.indices);
            data.indices = {};
            out.parts.push_back(std::move(part));
        }
        for (unsigned c = node->mNumChildren; c-- > 0;) {
            if (node->mChildren[c])
                pending.push_back(node->mChildren[c]);
        }
    }
}

void buildMeshBuffers(Mesh& mesh)
{
    if (mesh.buffersBuilt || (!mesh.scene && !mesh.data))
        return;
    mesh.buffersBuilt = true;
    const int64_t started = platform::steadyNanoseconds();
    // A mesh imported off the render thread comes with its data built; one
    // imported here builds it now.
    MeshData built;
    const MeshData* data = mesh.data.get();
    if (!data) {
        buildMeshData(mesh, built);
        data = &built;
    }
    const VertexLayout& layout = importedLayout(meshStorage(mesh));
    mesh.kind = MeshKindImported;
    for (const MeshPart& part : data->parts) {
        MeshRecord record;
        makeVertexArray(record, layout);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(part.vertices.size()), part.vertices.data(), GL_STATIC_DRAW);
        glGenBuffers(1, &record.indexBuffer);
        glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, record.indexBuffer);
        glBufferData(GL_ELEMENT_ARRAY_BUFFER, GLsizeiptr(part.indices.size() * sizeof(uint32_t)),
                     part.indices.data(), GL_STATIC_DRAW);
        record.indexCount = GLsizei(part.indices.size());
        record.vertexCount = GLsizei(part.vertexCount);
        record.primitiveMode = GL_TRIANGLES;
        mesh.records.push_back(std::move(record));
        glBindVertexArray(0);
    }
    glBindBuffer(GL_ARRAY_BUFFER, 0);
    // On the GPU now; the bytes are not needed again.
    mesh.data.reset();
    mesh.loadMs += double(platform::steadyNanoseconds() - started) * 1e-6;
}

void uploadPendingMeshes(const MeshTable& meshes)
{
    for (const auto& entry : meshes.entries())
        buildMeshBuffers(*entry.second);
}

void releaseMeshBuffers(Mesh& mesh)
{
    for (MeshRecord& record : mesh.records) {
        // Whatever refers to the buffers goes before them (the feedback
        // ring's vertex arrays read the grid as their seed), so that their
        // deletion frees them at once on every driver.
        if (record.transformFeedback)
            record.transformFeedback->release();
        glDeleteVertexArrays(1, &record.vertexArray);
        glDeleteBuffers(1, &record.vertexBuffer);
        if (record.indexBuffer)
            glDeleteBuffers(1, &record.indexBuffer);
    }
    mesh.records.clear();
}

void createCustomPointGridVBO(Mesh& mesh, int width, int height, int seedCount, bool useTransformFeedback,
                              const std::vector<Varying>& varyings)
{
    std::shared_ptr<TransformFeedback> ring = takeRing(mesh);
    releaseMeshBuffers(mesh);
    qDebug() << "createCustomPointGridVBO called with size:" << width << "," << height;
    mesh.gridWidth = width;
    mesh.gridHeight = height;
    mesh.seedCount = seedCount;
    mesh.kind = MeshKindPointGrid;
    const int64_t points = int64_t(width) * int64_t(height);
    qDebug() << "createCustomPointGridVBO with number of points:" << points;

    const bool fromVaryings = useTransformFeedback && !varyings.empty();
    const int floatsPerItem = fromVaryings ? varyingFloats(varyings) : kGridFloatsPerPoint;
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
        // The ring's items are what the layout reads, so that every
        // attribute of every item lies inside its buffer.
        const VertexLayout items = varyingsLayout(varyings, mesh.halfFloats);
        if (!ring->createItems(floatsPerItem, int(points), items.stride)) {
            // Without its ring the grid has nothing to draw.
            mesh.layoutVaryings.clear();
            return;
        }
        mesh.layoutVaryings = varyings;
    } else {
        if (ring)
            ring->release();
        mesh.layoutVaryings.clear();
    }

    const VertexLayout layout = meshLayout(mesh);
    MeshRecord record;
    makeVertexArray(record, layout);
    if (fromVaryings) {
        // The particles live in the ring, whose slots read with the same
        // layout; the grid's own buffer stays empty.
        ring->setLayout(layout);
        record.transformFeedback = std::move(ring);
    } else {
        const std::vector<uint8_t> bytes = pointGridData(width, height, mesh.halfFloats, mesh.intPack);
        glBufferData(GL_ARRAY_BUFFER, GLsizeiptr(bytes.size()), bytes.data(), GL_STATIC_DRAW);
    }
    record.vertexCount = GLsizei(points);
    record.primitiveMode = GL_POINTS;
    mesh.records.push_back(std::move(record));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void createCustomQuadVBO(Mesh& mesh)
{
    qDebug() << "createCustomQuadVBO called!";
    releaseMeshBuffers(mesh);
    static const float vertices[12] = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    static const uint32_t indices[6] = {0, 1, 2, 0, 2, 3};

    mesh.kind = MeshKindQuad;
    MeshRecord record;
    makeVertexArray(record, quadLayout());
    qDebug() << "created vao with handle:" << record.vertexArray;
    glBufferData(GL_ARRAY_BUFFER, sizeof vertices, vertices, GL_STATIC_DRAW);
    glGenBuffers(1, &record.indexBuffer);
    glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, record.indexBuffer);
    glBufferData(GL_ELEMENT_ARRAY_BUFFER, sizeof indices, indices, GL_STATIC_DRAW);

    record.vertexCount = 4;
    record.indexCount = 6;
    record.primitiveMode = GL_TRIANGLES;
    mesh.records.push_back(std::move(record));
    glBindVertexArray(0);
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}

void drawMesh(Mesh& mesh, int pass, FeedbackState& feedback, Shader* shader)
{
    buildMeshBuffers(mesh);
    for (MeshRecord& record : mesh.records)
        drawRecord(mesh, record, pass, feedback, shader);
    if (shader && shader->writesStorage() && !mesh.records.empty())
        feedback.writesPending = true;
    glBindVertexArray(0);
    // Later GL code (Qt Quick's among it) must not find our buffer bound.
    glBindBuffer(GL_ARRAY_BUFFER, 0);
}
