#include <GL/glew.h>

#include "gpu/MeshImports.h"

#include "gpu/Mesh.h"
#include "gpu/MeshCache.h"
#include "gpu/VertexBuffers.h"
#include "gpu/VertexLayout.h"
#include "platform/Clock.h"
#include "platform/Files.h"

#include <assimp/version.h>

#include <QDebug>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>

namespace {

// A worker thread's own flag: set when its import was given up, so that it
// ends once the importer lets go instead of taking the next job.
struct Worker {
    bool retired = false;
};

// Another importer version may build other meshes from the same file.
std::string importerVersion()
{
    return std::to_string(aiGetVersionMajor()) + "." + std::to_string(aiGetVersionMinor()) + "." +
           std::to_string(aiGetVersionRevision());
}

std::string formatMs(double ms)
{
    char text[64];
    std::snprintf(text, sizeof text, "%f", ms);
    return text;
}

} // namespace

struct MeshImports::Job {
    // Render thread only.
    Mesh* mesh = nullptr;
    const MeshImportRequest request;

    // The rest under Shared::mutex.
    enum State { Queued, Running, Done } state = Queued;
    int64_t startedNs = 0;
    std::shared_ptr<Worker> worker;
    bool abandoned = false; // superseded, given up, or the importer is gone
    bool ok = false;
    MeshData data;
    std::string error;
    double ms = 0.0;

    Job(Mesh* m, MeshImportRequest r)
        : mesh(m)
        , request(std::move(r))
    {
    }
};

struct MeshImports::Shared {
    std::mutex mutex;
    std::condition_variable work;     // a job queued, or time to end
    std::condition_variable finished; // a job done
    std::deque<std::shared_ptr<Job>> queue;
    MeshImportFunction import = importMeshData;
    bool closing = false;
    int liveWorkers = 0; // taking jobs; a retired one no longer counts
    int idleWorkers = 0; // of those, waiting for a job
};

namespace {

// Runs the import with nothing locked; the job's fields are the worker's
// own until it marks the job done.
void runJob(MeshImports::Job& job, const MeshImportFunction& import, MeshData& data, std::string& error,
            bool& ok, double& ms)
{
    const int64_t start = platform::steadyNanoseconds();
    ok = import(job.request, data, error);
    ms = double(platform::steadyNanoseconds() - start) / 1e6;
}

void workerLoop(std::shared_ptr<MeshImports::Shared> shared, std::shared_ptr<Worker> self)
{
    std::unique_lock<std::mutex> lock(shared->mutex);
    for (;;) {
        ++shared->idleWorkers;
        shared->work.wait(lock, [&] { return shared->closing || !shared->queue.empty(); });
        --shared->idleWorkers;
        if (shared->closing) {
            --shared->liveWorkers;
            return;
        }
        std::shared_ptr<MeshImports::Job> job = std::move(shared->queue.front());
        shared->queue.pop_front();
        job->state = MeshImports::Job::Running;
        job->startedNs = platform::steadyNanoseconds();
        job->worker = self;
        const MeshImportFunction import = shared->import;
        lock.unlock();

        MeshData data;
        std::string error;
        bool ok = false;
        double ms = 0.0;
        runJob(*job, import, data, error, ok, ms);

        lock.lock();
        if (!job->abandoned) {
            job->data = std::move(data);
            job->error = std::move(error);
            job->ok = ok;
            job->ms = ms;
        }
        job->state = MeshImports::Job::Done;
        shared->finished.notify_all();
        // Given up meanwhile: the importer counts it gone already.
        if (self->retired)
            return;
    }
}

} // namespace

MeshFileStamp meshFileStamp(const std::string& path)
{
    MeshFileStamp stamp;
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error)
        return stamp;
    stamp.size = uint64_t(size);
    stamp.writeTime = platform::fileWriteTime(path);
    return stamp;
}

bool importMeshData(const MeshImportRequest& request, MeshData& data, std::string& error)
{
    // A mesh of the worker's own: the scene lives only as long as the
    // build needs it.
    Mesh mesh;
    mesh.halfFloats = request.halfFloats;
    mesh.intPack = request.intPack;
    mesh.autoScale = request.autoScale;
    mesh.autoCenter = request.autoCenter;
    const uint32_t stride = uint32_t(vertexStride(meshStorage(mesh)));

    const MeshFileStamp stamp = meshFileStamp(request.file);
    const bool cached = !request.cacheFolder.empty() && stamp.size != 0;
    const std::string key = cached ? meshCacheKey(request, stamp, importerVersion()) : std::string();
    // An entry of another storage form would be drawn with the wrong
    // stride, past its buffer's end.
    if (cached && readMeshCache(request.cacheFolder, key, data) && data.stride == stride)
        return true;
    data = MeshData();

    if (mesh.importScene(request.file, request.smoothNormals, request.smoothingAngle, request.flipNormals, error))
        return false;
    buildMeshData(mesh, data);
    // The file may have changed while it was imported: such a result is
    // not kept under the old file's key.
    if (cached && meshFileStamp(request.file) == stamp)
        (void)writeMeshCache(request.cacheFolder, key, data);
    return true;
}

MeshImports::MeshImports()
    : shared_(std::make_shared<Shared>())
    , workerLimit_(std::clamp(int(std::thread::hardware_concurrency()) / 2, 2, 4))
    , cacheFolder_(meshCacheFolder())
{
}

MeshImports::~MeshImports()
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->closing = true;
    shared_->queue.clear();
    for (const std::shared_ptr<Job>& job : jobs_)
        job->abandoned = true;
    shared_->work.notify_all();
}

void MeshImports::setImportFunction(MeshImportFunction function)
{
    std::lock_guard<std::mutex> lock(shared_->mutex);
    shared_->import = function ? std::move(function) : MeshImportFunction(importMeshData);
}

bool MeshImports::startWorker()
{
    // Under the shared lock. Enough workers for the queue, up to the limit;
    // the jobs beyond wait their turn.
    if (int(shared_->queue.size()) <= shared_->idleWorkers)
        return true;
    if (shared_->liveWorkers >= workerLimit_)
        return shared_->liveWorkers > 0;
    try {
        std::thread(workerLoop, shared_, std::make_shared<Worker>()).detach();
    } catch (const std::system_error& e) {
        qDebug() << "no thread for mesh imports:" << e.what();
        return shared_->liveWorkers > 0;
    }
    ++shared_->liveWorkers;
    return true;
}

void MeshImports::request(Mesh& mesh, const MeshImportRequest& request, const MeshFileStamp& stamp)
{
    qDebug() << "loading mesh file:";
    qDebug() << request.file.c_str();
    mesh.importPending = true;
    mesh.importGivenUp = false;
    mesh.requestedSize = stamp.size;
    mesh.requestedWriteTime = stamp.writeTime;

    MeshImportRequest withCache = request;
    withCache.cacheFolder = cacheFolder_;
    auto job = std::make_shared<Job>(&mesh, std::move(withCache));
    bool queued = false;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            if ((*it)->mesh != &mesh) {
                ++it;
                continue;
            }
            (*it)->abandoned = true;
            shared_->queue.erase(std::remove(shared_->queue.begin(), shared_->queue.end(), *it),
                                 shared_->queue.end());
            it = jobs_.erase(it);
        }
        shared_->queue.push_back(job);
        if (startWorker()) {
            shared_->work.notify_one();
            queued = true;
        } else {
            shared_->queue.pop_back();
        }
    }
    jobs_.push_back(job);
    if (!queued) {
        // Without a thread the import runs here, as it always did: slower
        // for the frame, but the mesh still comes.
        runJob(*job, shared_->import, job->data, job->error, job->ok, job->ms);
        job->state = Job::Done;
    }
}

void MeshImports::handOver()
{
    struct Finished {
        std::shared_ptr<Job> job;
        bool givenUp;
    };
    std::vector<Finished> finished;
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        const int64_t now = platform::steadyNanoseconds();
        // No thread could be made when these were asked for: try again.
        if (shared_->liveWorkers == 0 && !shared_->queue.empty() && startWorker())
            shared_->work.notify_one();
        for (auto it = jobs_.begin(); it != jobs_.end();) {
            Job& job = **it;
            if (job.state == Job::Done) {
                finished.push_back({*it, false});
            } else if (job.state == Job::Running && double(now - job.startedNs) / 1e6 > timeLimitMs_) {
                // The importer cannot be stopped: its thread finishes on its
                // own, and another takes the jobs still waiting.
                job.abandoned = true;
                job.worker->retired = true;
                --shared_->liveWorkers;
                if (startWorker())
                    shared_->work.notify_one();
                finished.push_back({*it, true});
            } else {
                ++it;
                continue;
            }
            it = jobs_.erase(it);
        }
    }

    for (const Finished& f : finished) {
        Job& job = *f.job;
        Mesh& mesh = *job.mesh;
        mesh.importPending = false;
        if (f.givenUp) {
            mesh.importGivenUp = true;
            char seconds[32];
            std::snprintf(seconds, sizeof seconds, "%.0f", timeLimitMs_ / 1000.0);
            qDebug() << ("mesh import given up after " + std::string(seconds) + " s:" + job.request.file).c_str();
            continue;
        }
        // What the mesh drew before (a file since changed) goes now.
        releaseMeshBuffers(mesh);
        mesh.releaseScene();
        mesh.buffersBuilt = false;
        mesh.data.reset();
        mesh.flipNormals = job.request.flipNormals;
        if (job.ok) {
            mesh.path = job.request.file;
            std::copy(job.data.boundsMin, job.data.boundsMin + 3, mesh.boundsMin);
            std::copy(job.data.boundsMax, job.data.boundsMax + 3, mesh.boundsMax);
            std::copy(job.data.center, job.data.center + 3, mesh.center);
            mesh.data = std::make_unique<MeshData>(std::move(job.data));
        } else {
            qDebug() << job.error.c_str();
        }
        importedMs_ += job.ms;
        qDebug() << ("loaded file:" + job.request.file + " in ms:" + formatMs(job.ms)).c_str();
    }
}

void MeshImports::waitForAll()
{
    for (;;) {
        handOver();
        if (jobs_.empty())
            return;
        const std::shared_ptr<Job> first = jobs_.front();
        std::unique_lock<std::mutex> lock(shared_->mutex);
        if (shared_->liveWorkers == 0 && !shared_->queue.empty()) {
            // No thread could be made for what waits: it is imported here,
            // or the capture would wait for ever.
            const std::shared_ptr<Job> job = std::move(shared_->queue.front());
            shared_->queue.pop_front();
            lock.unlock();
            runJob(*job, shared_->import, job->data, job->error, job->ok, job->ms);
            lock.lock();
            job->state = Job::Done;
            continue;
        }
        // Woken when it is done; looked at again now and then for its time
        // limit.
        shared_->finished.wait_for(lock, std::chrono::milliseconds(50),
                                   [&] { return first->state == Job::Done; });
    }
}
