// Import and upload of a generated 100,000-triangle mesh (a torus of
// 250 x 200 quads with normals and texture coordinates), split into
// Assimp's import and our buffer building: the float-form build on the CPU,
// the conversions to the half and packed forms, the build with the upload to
// the GPU, and all of it in one go as a skene load pays for it (target:
// 100 ms).
#include <GL/glew.h>

#include "BenchState.h"
#include "gpu/Mesh.h"
#include "gpu/VertexBuffers.h"

#include "support/GlTestContext.h"
#include "support/TempDemo.h"

#include <assimp/scene.h>

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <string>

namespace {

const int kRings = 250;
const int kSides = 200; // 250 x 200 quads = 100,000 triangles

std::string torusObj()
{
    std::string obj;
    obj.reserve(8 << 20);
    const double pi = 3.14159265358979323846;
    char line[160];
    for (int i = 0; i <= kRings; ++i) {
        for (int j = 0; j <= kSides; ++j) {
            const double u = 2.0 * pi * i / kRings, v = 2.0 * pi * j / kSides;
            const double nx = std::cos(u) * std::cos(v), ny = std::sin(u) * std::cos(v), nz = std::sin(v);
            std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\nvn %.6f %.6f %.6f\nvt %.6f %.6f\n",
                          3.0 * std::cos(u) + nx, 3.0 * std::sin(u) + ny, nz, nx, ny, nz, double(i) / kRings,
                          double(j) / kSides);
            obj += line;
        }
    }
    for (int i = 0; i < kRings; ++i) {
        for (int j = 0; j < kSides; ++j) {
            const int a = i * (kSides + 1) + j + 1, b = a + kSides + 1;
            std::snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d\nf %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a,
                          b, b, b, b + 1, b + 1, b + 1, a, a, a, b + 1, b + 1, b + 1, a + 1, a + 1, a + 1);
            obj += line;
        }
    }
    return obj;
}

// The generated file, written once for all benchmarks of the run.
struct TorusFile {
    TorusFile()
    {
        demo.write("torus.obj", torusObj());
        path = demo.path("torus.obj");
    }
    TempDemo demo;
    std::string path;
};

const std::string& torusPath()
{
    static TorusFile file;
    return file.path;
}

std::unique_ptr<Mesh> importedTorus()
{
    auto mesh = std::make_unique<Mesh>();
    mesh->importMesh(torusPath(), false, 175.0f, false);
    return mesh;
}

void BM_AssimpImport(benchmark::State& state)
{
    const std::string& path = torusPath();
    for (auto _ : state) {
        Mesh mesh;
        if (mesh.importMesh(path, false, 175.0f, false))
            state.SkipWithError("import failed");
        benchmark::DoNotOptimize(mesh.scene);
    }
}
BENCHMARK(BM_AssimpImport)->Unit(benchmark::kMillisecond);

void BM_BuildFloatData(benchmark::State& state)
{
    const std::unique_ptr<Mesh> mesh = importedTorus();
    if (!mesh->scene) {
        state.SkipWithError("import failed");
        return;
    }
    SubmeshData data;
    for (auto _ : state) {
        for (unsigned m = 0; m < mesh->scene->mNumMeshes; ++m)
            buildSubmeshData(*mesh, *mesh->scene->mMeshes[m], data);
        benchmark::DoNotOptimize(data.vertices.data());
    }
    state.counters["triangles"] = double(data.indices.size() / 3);
    state.counters["vertices"] = double(data.vertices.size() / kMeshFloatsPerVertex);
}
BENCHMARK(BM_BuildFloatData)->Unit(benchmark::kMillisecond);

void BM_EncodeStorage(benchmark::State& state)
{
    const std::unique_ptr<Mesh> mesh = importedTorus();
    if (!mesh->scene) {
        state.SkipWithError("import failed");
        return;
    }
    SubmeshData data;
    buildSubmeshData(*mesh, *mesh->scene->mMeshes[0], data);
    const VertexStorage storage = VertexStorage(state.range(0));
    for (auto _ : state) {
        const std::vector<uint8_t> bytes = encodeVertices(data.vertices, storage);
        benchmark::DoNotOptimize(bytes.data());
    }
}
BENCHMARK(BM_EncodeStorage)
    ->Arg(int(VertexStorage::Half))
    ->Arg(int(VertexStorage::Packed))
    ->Unit(benchmark::kMillisecond);

// Our whole part: the float-form build, the conversion and the upload,
// finished on the GPU.
void BM_BuildAndUpload(benchmark::State& state)
{
    GlTestContext gl;
    if (!gl.ok()) {
        state.SkipWithError("no GL context");
        return;
    }
    const std::unique_ptr<Mesh> mesh = importedTorus();
    if (!mesh->scene) {
        state.SkipWithError("import failed");
        return;
    }
    mesh->halfFloats = state.range(0) != 0;
    for (auto _ : state) {
        mesh->records.clear();
        mesh->buffersBuilt = false;
        buildMeshBuffers(*mesh);
        glFinish();
        state.PauseTiming();
        for (MeshRecord& record : mesh->records) {
            glDeleteVertexArrays(1, &record.vertexArray);
            glDeleteBuffers(1, &record.vertexBuffer);
            glDeleteBuffers(1, &record.indexBuffer);
        }
        state.ResumeTiming();
    }
}
BENCHMARK(BM_BuildAndUpload)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

// What a skene load pays for one such mesh: the import, the float-form
// build and the upload, finished on the GPU.
void BM_ImportBuildUpload(benchmark::State& state)
{
    GlTestContext gl;
    if (!gl.ok()) {
        state.SkipWithError("no GL context");
        return;
    }
    const std::string& path = torusPath();
    for (auto _ : state) {
        Mesh mesh;
        if (mesh.importMesh(path, false, 175.0f, false)) {
            state.SkipWithError("import failed");
            return;
        }
        buildMeshBuffers(mesh);
        glFinish();
        state.PauseTiming();
        for (MeshRecord& record : mesh.records) {
            glDeleteVertexArrays(1, &record.vertexArray);
            glDeleteBuffers(1, &record.vertexBuffer);
            glDeleteBuffers(1, &record.indexBuffer);
        }
        state.ResumeTiming();
    }
}
BENCHMARK(BM_ImportBuildUpload)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
