#include <GL/glew.h>

#include "gpu/Mesh.h"

#include "time/Stopwatch.h"

#include <assimp/Importer.hpp>
#include <assimp/cimport.h>
#include <assimp/config.h>
#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <QDebug>

#include <algorithm>
#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

// The importer checks its own work as it goes, and the library as built for
// this system ends the whole process when a check fails: a damaged or
// hostile mesh file (a face count that does not match what the file holds)
// would take the demo, and every unsaved edit of the author, with it. The
// library calls this function through the dynamic linker, so the program's
// own definition stands in for the library's: the failed check becomes an
// exception, which the importer's ReadFile turns into a failed import with
// this text as its error.
namespace Assimp {
void aiAssertViolation(const char* failedExpression, const char* file, int line);
void aiAssertViolation(const char* failedExpression, const char* file, int line)
{
    throw std::runtime_error(std::string("the importer's own check failed: ") + failedExpression + " (" + file +
                             ":" + std::to_string(line) + ")");
}
} // namespace Assimp

namespace {

// The default import. Assimp refuses aiProcess_GenNormals together with
// aiProcess_GenSmoothNormals (its checked builds abort the process on it);
// where both run, the face normals are made first and the smooth pass then
// leaves them alone, so the face normals alone give the same meshes.
const unsigned kDefaultFlags = aiProcess_CalcTangentSpace | aiProcess_JoinIdenticalVertices |
                               aiProcess_Triangulate | aiProcess_GenNormals | aiProcess_SortByPType |
                               aiProcess_GenUVCoords;
static_assert(kDefaultFlags == 0x4802B, "default import flags");

// Smoothing throws away the file's own normals and tangents and makes new
// ones, smooth up to the angle given.
const unsigned kSmoothFlags = aiProcess_CalcTangentSpace | aiProcess_Triangulate | aiProcess_RemoveComponent |
                              aiProcess_GenSmoothNormals | aiProcess_FixInfacingNormals;
static_assert(kSmoothFlags == 0x2059, "smooth-normal import flags");

// Grows the box by every vertex of every mesh below the root, each taken
// through the accumulated node transformations. Iterative, so a file with a
// very deep node chain cannot exhaust the stack.
void measureBounds(Mesh& mesh)
{
    const aiScene* scene = mesh.scene;
    if (!scene->mRootNode)
        return;
    aiMatrix4x4 identity;
    aiIdentityMatrix4(&identity);
    std::vector<std::pair<const aiNode*, aiMatrix4x4>> pending{{scene->mRootNode, identity}};
    while (!pending.empty()) {
        const aiNode* node = pending.back().first;
        aiMatrix4x4 transform = pending.back().second;
        pending.pop_back();
        aiMultiplyMatrix4(&transform, &node->mTransformation);

        for (unsigned i = 0; i < node->mNumMeshes; ++i) {
            if (node->mMeshes[i] >= scene->mNumMeshes)
                continue;
            const aiMesh* part = scene->mMeshes[node->mMeshes[i]];
            for (unsigned v = 0; v < part->mNumVertices; ++v) {
                aiVector3D p = part->mVertices[v];
                aiTransformVecByMatrix4(&p, &transform);
                const float xyz[3] = {p.x, p.y, p.z};
                for (int axis = 0; axis < 3; ++axis) {
                    mesh.boundsMin[axis] = std::min(mesh.boundsMin[axis], xyz[axis]);
                    mesh.boundsMax[axis] = std::max(mesh.boundsMax[axis], xyz[axis]);
                }
            }
        }
        for (unsigned c = node->mNumChildren; c-- > 0;) {
            if (node->mChildren[c])
                pending.emplace_back(node->mChildren[c], transform);
        }
    }
}

} // namespace

Mesh::Mesh() = default;

Mesh::~Mesh()
{
    // Scenes are taken over from their importer (importScene), so they are
    // ours to delete.
    delete scene;
}

void Mesh::releaseScene()
{
    delete scene;
    scene = nullptr;
}

bool Mesh::importScene(const std::string& file, bool smoothNormals, float smoothingAngle, bool flip,
                       std::string& error)
{
    // An importer of its own for each import: imports run on worker threads,
    // and the plain function interface keeps its last error in one string
    // that every thread would share.
    Assimp::Importer importer;
    releaseScene();
    const aiScene* imported = nullptr;
    if (file.find("partemit") != std::string::npos) {
        // Particle emitter meshes keep their faces exactly as written.
        imported = importer.ReadFile(file.c_str(), 0);
    } else if (smoothNormals) {
        importer.SetPropertyInteger(AI_CONFIG_PP_RVC_FLAGS, aiComponent_NORMALS | aiComponent_TANGENTS_AND_BITANGENTS);
        importer.SetPropertyFloat(AI_CONFIG_PP_GSN_MAX_SMOOTHING_ANGLE, smoothingAngle);
        imported = importer.ReadFile(file.c_str(), kSmoothFlags);
    } else {
        imported = importer.ReadFile(file.c_str(), kDefaultFlags);
    }

    if (imported) {
        scene = importer.GetOrphanedScene();
        path = file;
        measureBounds(*this);
        for (int axis = 0; axis < 3; ++axis)
            center[axis] = (boundsMin[axis] + boundsMax[axis]) * 0.5f;
    } else {
        error = importer.GetErrorString();
    }
    flipNormals = flip;
    return scene == nullptr;
}

bool Mesh::importMesh(const std::string& file, bool smoothNormals, float smoothingAngle, bool flip)
{
    const Stopwatch clock;
    qDebug() << "loading mesh file:";
    qDebug() << file.c_str();
    std::string error;
    const bool failed = importScene(file, smoothNormals, smoothingAngle, flip, error);
    if (failed)
        qDebug() << error.c_str();
    const double ms = clock.elapsed_ms();
    loadMs += ms;
    char elapsed[64];
    std::snprintf(elapsed, sizeof elapsed, "%f", ms);
    qDebug() << ("loaded file:" + file + " in ms:" + elapsed).c_str();
    return failed;
}
