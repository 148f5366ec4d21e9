// Import and upload of a generated 100,000-triangle mesh (a torus of
// 250 x 200 quads with normals and texture coordinates), split into
// Assimp's import and our buffer building: the float-form build on the CPU,
// the conversions to the half and packed forms, the build with the upload to
// the GPU, and all of it in one go as a skene load pays for it (target:
// 100 ms). Then the load as the worker and the frame share it, with a cold
// and a warm mesh cache side by side (warm: at most a tenth of cold), and
// the frames that run while a 500,000-triangle mesh imports.
#include <GL/glew.h>

#include "BenchState.h"
#include "gpu/Mesh.h"
#include "gpu/MeshCache.h"
#include "gpu/MeshImports.h"
#include "gpu/VertexBuffers.h"
#include "platform/Clock.h"

#include "support/GlTestContext.h"
#include "support/TempDemo.h"

#include <assimp/scene.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace {

const int kRings = 250;
const int kSides = 200; // 250 x 200 quads = 100,000 triangles

std::string torusObj(int rings, int sides)
{
    std::string obj;
    obj.reserve(8 << 20);
    const double pi = 3.14159265358979323846;
    char line[160];
    for (int i = 0; i <= rings; ++i) {
        for (int j = 0; j <= sides; ++j) {
            const double u = 2.0 * pi * i / rings, v = 2.0 * pi * j / sides;
            const double nx = std::cos(u) * std::cos(v), ny = std::sin(u) * std::cos(v), nz = std::sin(v);
            std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\nvn %.6f %.6f %.6f\nvt %.6f %.6f\n",
                          3.0 * std::cos(u) + nx, 3.0 * std::sin(u) + ny, nz, nx, ny, nz, double(i) / rings,
                          double(j) / sides);
            obj += line;
        }
    }
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < sides; ++j) {
            const int a = i * (sides + 1) + j + 1, b = a + sides + 1;
            std::snprintf(line, sizeof line, "f %d/%d/%d %d/%d/%d %d/%d/%d\nf %d/%d/%d %d/%d/%d %d/%d/%d\n", a, a, a,
                          b, b, b, b + 1, b + 1, b + 1, a, a, a, b + 1, b + 1, b + 1, a + 1, a + 1, a + 1);
            obj += line;
        }
    }
    return obj;
}

// The generated file, written once for all benchmarks of the run.
struct TorusFile {
    TorusFile(int rings, int sides)
    {
        demo.write("torus.obj", torusObj(rings, sides));
        path = demo.path("torus.obj");
    }
    TempDemo demo;
    std::string path;
};

const std::string& torusPath()
{
    static TorusFile file(kRings, kSides);
    return file.path;
}

// 500 x 500 quads: 500,000 triangles, some 22 MB of OBJ text.
const std::string& bigTorusPath()
{
    static TorusFile file(500, 500);
    return file.path;
}

double msSince(int64_t startNs)
{
    return double(platform::steadyNanoseconds() - startNs) / 1e6;
}

void deleteRecords(Mesh& mesh)
{
    for (MeshRecord& record : mesh.records) {
        glDeleteVertexArrays(1, &record.vertexArray);
        glDeleteBuffers(1, &record.vertexBuffer);
        glDeleteBuffers(1, &record.indexBuffer);
    }
    mesh.records.clear();
    mesh.buffersBuilt = false;
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

// One load as a skene pays for it now: the worker's part (the import and
// the build, or the cache entry read back) and the frame's upload, with the
// cache cold (its folder emptied first) and warm, alternating in one run so
// both meet the same machine. The counters are medians per load. Arg 0:
// the 100k-triangle torus; arg 1: the 500k one.
void BM_LoadColdAndWarm(benchmark::State& state)
{
    GlTestContext gl;
    if (!gl.ok()) {
        state.SkipWithError("no GL context");
        return;
    }
    TempDemo folder;
    MeshImportRequest request;
    request.file = state.range(0) == 0 ? torusPath() : bigTorusPath();
    request.cacheFolder = folder.path("cache");
    std::vector<double> cold, warm;
    for (auto _ : state) {
        for (int pass = 0; pass < 2; ++pass) {
            std::error_code error;
            if (pass == 0)
                std::filesystem::remove_all(request.cacheFolder, error);
            const int64_t start = platform::steadyNanoseconds();
            Mesh mesh;
            mesh.data = std::make_unique<MeshData>();
            std::string why;
            if (!importMeshData(request, *mesh.data, why)) {
                state.SkipWithError("import failed");
                return;
            }
            buildMeshBuffers(mesh);
            glFinish();
            (pass == 0 ? cold : warm).push_back(msSince(start));
            deleteRecords(mesh);
        }
    }
    auto median = [](std::vector<double> v) {
        std::sort(v.begin(), v.end());
        return v.empty() ? 0.0 : v[v.size() / 2];
    };
    state.counters["cold_ms"] = median(cold);
    state.counters["warm_ms"] = median(warm);
    state.counters["warm_percent"] = median(cold) > 0.0 ? 100.0 * median(warm) / median(cold) : 0.0;
}
BENCHMARK(BM_LoadColdAndWarm)->Arg(0)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LoadColdAndWarm)->Arg(1)->Iterations(2)->Unit(benchmark::kMillisecond);

// Frames while a 500,000-triangle mesh imports on the worker (no cache):
// each frame hands over what is ready, draws a little and finishes on the
// GPU. Counted: the frames during the import, the longest of them and their
// mean, the one frame that took the mesh over and uploaded it, and the
// import's own time. No frame may wait for the import.
void BM_FramesWhileImporting(benchmark::State& state)
{
    GlTestContext gl;
    if (!gl.ok()) {
        state.SkipWithError("no GL context");
        return;
    }
    const std::string& path = bigTorusPath();
    double longest = 0.0, total = 0.0, uploadFrame = 0.0, importMs = 0.0;
    int frames = 0;
    for (auto _ : state) {
        MeshImports imports;
        imports.setCacheFolder(std::string());
        Mesh mesh;
        MeshImportRequest request;
        request.file = path;
        imports.request(mesh, request, meshFileStamp(path));
        const int64_t began = platform::steadyNanoseconds();
        while (msSince(began) < 60000.0) {
            const int64_t frame = platform::steadyNanoseconds();
            imports.handOver();
            const bool arrived = mesh.data != nullptr;
            buildMeshBuffers(mesh);
            glClear(GL_COLOR_BUFFER_BIT);
            glFinish();
            const double ms = msSince(frame);
            if (arrived || !mesh.importPending) {
                uploadFrame = ms;
                break;
            }
            longest = std::max(longest, ms);
            total += ms;
            ++frames;
            // A 60 Hz display's pace.
            std::this_thread::sleep_for(std::chrono::microseconds(16667 - int64_t(ms * 1000.0)));
        }
        importMs = imports.importedMs();
        if (mesh.records.empty())
            state.SkipWithError("the mesh did not come");
        deleteRecords(mesh);
    }
    state.counters["frames"] = frames;
    state.counters["longest_frame_ms"] = longest;
    state.counters["mean_frame_ms"] = frames > 0 ? total / frames : 0.0;
    state.counters["handover_frame_ms"] = uploadFrame;
    state.counters["import_ms"] = importMs;
}
BENCHMARK(BM_FramesWhileImporting)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
