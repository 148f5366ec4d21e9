#pragma once
// Mesh imports off the render thread. An import can take seconds for a
// large file and minutes for a hostile one, inside the importer where
// nothing can interrupt it; on the thread that draws it would freeze the
// demo. So a mesh item asks for its import here and draws nothing until
// the frame hands the result over; the upload stays in the frame.
//
// A few worker threads import side by side (two, up to four on a machine
// with many cores), taking the meshes in the order they were asked for:
// one slow or hostile file does not hold up the others, and memory stays
// bounded to a few imports at a time. An import running past the time
// limit is given up: its mesh stays empty, its thread is left to finish on
// its own (its result is thrown away) and a fresh worker takes its place.
// Nothing ever waits for a worker to end.
//
// The worker owns what it imports until the hand-over; it never sees a Mesh
// and never touches GL. Everything here but the worker runs on the render
// thread.
#include "gpu/MeshData.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct Mesh;

// What an import needs to know: the file and the options of the mesh item.
struct MeshImportRequest {
    std::string file;
    bool smoothNormals = false;
    float smoothingAngle = 175.0f;
    bool flipNormals = false;
    bool halfFloats = false;
    bool intPack = false;
    bool autoScale = true;
    bool autoCenter = true;
    // Where the import's result is looked for and kept (gpu/MeshCache.h);
    // empty: no cache. MeshImports fills it in.
    std::string cacheFolder;
};

// Size and modification time of a mesh file; zeros when it is missing.
struct MeshFileStamp {
    uint64_t size = 0;
    uint64_t writeTime = 0; // 100-nanosecond units, as platform::fileWriteTime
    bool operator==(const MeshFileStamp& o) const { return size == o.size && writeTime == o.writeTime; }
    bool operator!=(const MeshFileStamp& o) const { return !(*this == o); }
};
MeshFileStamp meshFileStamp(const std::string& path);

// An import as the worker runs it: fills data, or returns false with the
// reason in error. Runs on the worker thread; must touch nothing shared.
using MeshImportFunction = std::function<bool(const MeshImportRequest&, MeshData& data, std::string& error)>;

// The request's entry in the mesh cache when there is a sound one for the
// file as it is now; else Assimp's import with the request's options and
// our vertex build, then kept in the cache.
bool importMeshData(const MeshImportRequest& request, MeshData& data, std::string& error);

class MeshImports {
public:
    // How long an import may run before it is given up.
    static constexpr double kTimeLimitMs = 30000.0;

    MeshImports();
    // Never waits: a running import is left to its thread, its result
    // thrown away.
    ~MeshImports();
    MeshImports(const MeshImports&) = delete;
    MeshImports& operator=(const MeshImports&) = delete;

    // Asks for mesh's import: logs "loading mesh file:" and the path, marks
    // the mesh pending and notes the file's stamp. An import of the same
    // mesh still pending is superseded: its result will be thrown away.
    void request(Mesh& mesh, const MeshImportRequest& request, const MeshFileStamp& stamp);

    // Once a frame: hands every finished import over to its mesh (each logs
    // "loaded file:<path> in ms:<ms>", the worker's time) and gives up those
    // running past the limit (one line each, naming the file).
    void handOver();
    // Capture's frame: hands over as handOver does, waiting until no import
    // is pending any more (each finished or given up).
    void waitForAll();

    // Imports asked for and not handed over or given up yet.
    int pending() const { return int(jobs_.size()); }
    // Milliseconds the imports handed over so far took on the worker.
    double importedMs() const { return importedMs_; }

    // For tests: another time limit, another import (a stand-in that hangs).
    void setTimeLimitMs(double ms) { timeLimitMs_ = ms; }
    // Workers at most (at least one).
    void setWorkerLimit(int workers) { workerLimit_ = workers < 1 ? 1 : workers; }
    void setImportFunction(MeshImportFunction function);
    // The cache folder that requests are given (meshCacheFolder() at first);
    // empty turns the cache off.
    void setCacheFolder(const std::string& folder) { cacheFolder_ = folder; }
    const std::string& cacheFolder() const { return cacheFolder_; }

    struct Job;
    struct Shared;

private:
    // Under the shared lock: a new worker when the queue has more jobs than
    // idle workers and the limit allows; false when no worker at all is
    // there to take the queue.
    bool startWorker();

    std::shared_ptr<Shared> shared_;
    std::vector<std::shared_ptr<Job>> jobs_; // in request order
    double timeLimitMs_ = kTimeLimitMs;
    int workerLimit_;
    double importedMs_ = 0.0;
    std::string cacheFolder_;
};
