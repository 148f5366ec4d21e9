// Mesh imports on the worker thread: the frame never waits for one, a
// runaway one is given up, a newer request wins, and the log keeps the
// order of what happened.
#include <GL/glew.h>

#include "gpu/MeshImports.h"

#include "gpu/Mesh.h"
#include "gpu/VertexBuffers.h"
#include "platform/Clock.h"

#include "support/LogCapture.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace {

const char* const kSquare = "v -1 -1 0\nv 1 -1 0\nv 1 1 0\nv -1 1 0\nf 1 2 3 4\n";

// Stands in for an importer that spins on a hostile file: the import of
// "hang.obj" returns only once the gate opens. Shared with the worker,
// which may outlive the case's importer.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic<int> entered{0};
    std::atomic<int> left{0};

    void release()
    {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        opened.notify_all();
    }
    // Up to a few seconds, so that nothing can hang a test.
    bool waitUntilLeft(int count)
    {
        for (int i = 0; i < 500 && left < count; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return left >= count;
    }
};

MeshImportFunction hangingOn(const std::shared_ptr<Gate>& gate, const std::string& file)
{
    return [gate, file](const MeshImportRequest& request, MeshData& data, std::string& error) {
        if (request.file == file) {
            ++gate->entered;
            std::unique_lock<std::mutex> lock(gate->mutex);
            gate->opened.wait_for(lock, std::chrono::seconds(20), [&] { return gate->open; });
            ++gate->left;
        }
        return importMeshData(request, data, error);
    };
}

double msSince(int64_t startNs)
{
    return double(platform::steadyNanoseconds() - startNs) / 1e6;
}

MeshImportRequest requestFor(const std::string& file)
{
    MeshImportRequest r;
    r.file = file;
    return r;
}

// Calls handOver like frames do until done() or the time is up; the
// longest single call goes to longestMs.
template <typename Done>
bool runFrames(MeshImports& imports, Done done, double& longestMs, int limitMs = 5000)
{
    const int64_t start = platform::steadyNanoseconds();
    while (msSince(start) < limitMs) {
        const int64_t frame = platform::steadyNanoseconds();
        imports.handOver();
        longestMs = std::max(longestMs, msSince(frame));
        if (done())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

struct MeshImportsFixture : ::testing::Test {
    void SetUp() override
    {
        demo.enter();
        demo.write("square.obj", kSquare);
        demo.write("hang.obj", kSquare);
    }
    void TearDown() override
    {
        // The stand-in thread ends, whatever the case did.
        gate->release();
    }
    TempDemo demo;
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();
};

} // namespace

TEST_F(MeshImportsFixture, AnImportArrivesAtAFrameLaterAndTheFrameNeverWaits)
{
    MeshImports imports;
    imports.setImportFunction(hangingOn(gate, "hang.obj"));
    Mesh mesh;
    LogCapture log;
    imports.request(mesh, requestFor("square.obj"), meshFileStamp("square.obj"));
    EXPECT_TRUE(mesh.importPending);
    EXPECT_EQ(imports.pending(), 1);
    EXPECT_EQ(mesh.requestedSize, std::string(kSquare).size());
    EXPECT_NE(mesh.requestedWriteTime, 0u);
    // Nothing to draw before the hand-over.
    EXPECT_EQ(mesh.data, nullptr);

    double longest = 0.0;
    ASSERT_TRUE(runFrames(imports, [&] { return imports.pending() == 0; }, longest));
    EXPECT_FALSE(mesh.importPending);
    ASSERT_NE(mesh.data, nullptr);
    ASSERT_EQ(mesh.data->parts.size(), 1u);
    EXPECT_EQ(mesh.data->parts[0].indices.size(), 6u);
    EXPECT_EQ(mesh.path, "square.obj");
    EXPECT_FLOAT_EQ(mesh.boundsMax[0], 1.0f);
    EXPECT_GT(imports.importedMs(), 0.0);
    ASSERT_GE(log.lines().size(), 3u);
    EXPECT_EQ(log.lines()[0], "loading mesh file:");
    EXPECT_EQ(log.lines()[1], "square.obj");
    EXPECT_EQ(log.lines().back().rfind("loaded file:square.obj in ms:", 0), 0u) << log.lines().back();
}

TEST_F(MeshImportsFixture, RunawayImportIsGivenUpWhileFramesRunAndTheOthersStillCome)
{
    MeshImports imports;
    imports.setImportFunction(hangingOn(gate, "hang.obj"));
    // Long enough that the other import comes first on a busy machine too.
    imports.setTimeLimitMs(1000.0);
    Mesh runaway, beside;
    LogCapture log;
    imports.request(runaway, requestFor("hang.obj"), {});
    imports.request(beside, requestFor("square.obj"), {});

    // Another worker imports the next mesh while the first hangs, and the
    // frames go on at their pace.
    double longest = 0.0;
    ASSERT_TRUE(runFrames(imports, [&] { return !beside.importPending; }, longest));
    EXPECT_TRUE(runaway.importPending);
    ASSERT_NE(beside.data, nullptr);
    int frames = 0;
    ASSERT_TRUE(runFrames(imports, [&] { return ++frames > 0 && !runaway.importPending; }, longest));
    EXPECT_GE(frames, 10);
    EXPECT_LT(longest, 50.0);
    EXPECT_TRUE(runaway.importGivenUp);
    EXPECT_EQ(runaway.data, nullptr);
    EXPECT_TRUE(log.contains("mesh import given up after 1 s:hang.obj")) << log.lines().back();

    // The given-up thread finishes some day; its result is thrown away.
    gate->release();
    ASSERT_TRUE(gate->waitUntilLeft(1));
    imports.handOver();
    EXPECT_EQ(runaway.data, nullptr);
    EXPECT_FALSE(runaway.importPending);
    EXPECT_EQ(imports.pending(), 0);
}

TEST_F(MeshImportsFixture, WithOneWorkerAFreshOneTakesTheQueueWhenAnImportIsGivenUp)
{
    MeshImports imports;
    imports.setImportFunction(hangingOn(gate, "hang.obj"));
    imports.setTimeLimitMs(300.0);
    imports.setWorkerLimit(1);
    Mesh runaway, after;
    imports.request(runaway, requestFor("hang.obj"), {});
    imports.request(after, requestFor("square.obj"), {});
    double longest = 0.0;
    ASSERT_TRUE(runFrames(imports, [&] { return !runaway.importPending; }, longest));
    EXPECT_TRUE(runaway.importGivenUp);
    // Behind the hanging one until then.
    EXPECT_TRUE(after.importPending);
    EXPECT_EQ(after.data, nullptr);
    ASSERT_TRUE(runFrames(imports, [&] { return imports.pending() == 0; }, longest));
    ASSERT_NE(after.data, nullptr);
    EXPECT_FALSE(after.importGivenUp);
    EXPECT_LT(longest, 50.0);
}

TEST_F(MeshImportsFixture, ImportsEndPromptlyWhileAnImportStillHangs)
{
    Mesh mesh;
    auto imports = std::make_unique<MeshImports>();
    imports->setImportFunction(hangingOn(gate, "hang.obj"));
    imports->request(mesh, requestFor("hang.obj"), {});
    for (int i = 0; i < 500 && gate->entered == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(gate->entered, 1);
    const int64_t start = platform::steadyNanoseconds();
    imports.reset();
    EXPECT_LT(msSince(start), 100.0) << "the end waited for the import";
    // The thread lives on with what it shares, and ends once its import does.
    gate->release();
    EXPECT_TRUE(gate->waitUntilLeft(1));
    EXPECT_EQ(mesh.data, nullptr);
}

TEST_F(MeshImportsFixture, ANewerRequestForTheSameMeshSupersedesTheOlder)
{
    demo.write("b.obj", "v 0 0 0\nv 4 0 0\nv 0 4 0\nf 1 2 3\n");
    MeshImports imports;
    imports.setImportFunction(hangingOn(gate, "hang.obj"));
    Mesh first, mesh;
    // The worker is busy with the first; the second waits in the queue.
    imports.request(first, requestFor("hang.obj"), {});
    imports.request(mesh, requestFor("square.obj"), {});
    imports.request(mesh, requestFor("b.obj"), {});
    EXPECT_EQ(imports.pending(), 2);
    gate->release();
    imports.waitForAll();
    ASSERT_NE(mesh.data, nullptr);
    EXPECT_EQ(mesh.path, "b.obj");
    EXPECT_FLOAT_EQ(mesh.boundsMax[0], 4.0f);

    // Superseded while it runs: the running one's result goes nowhere.
    auto again = std::make_shared<Gate>();
    imports.setImportFunction(hangingOn(again, "hang.obj"));
    imports.request(mesh, requestFor("hang.obj"), {});
    for (int i = 0; i < 500 && again->entered == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    imports.request(mesh, requestFor("square.obj"), {});
    again->release();
    imports.waitForAll();
    EXPECT_TRUE(again->waitUntilLeft(1));
    EXPECT_EQ(mesh.path, "square.obj");
    EXPECT_FLOAT_EQ(mesh.boundsMax[0], 1.0f);
}

TEST_F(MeshImportsFixture, WaitingForAllStopsAtTheLimitAndTheLogFollowsWhatHappened)
{
    demo.write("b.obj", "v 0 0 0\nv 4 0 0\nv 0 4 0\nf 1 2 3\n");
    MeshImports imports;
    imports.setImportFunction(hangingOn(gate, "hang.obj"));
    imports.setTimeLimitMs(200.0);
    Mesh a, b, hung, missing;
    LogCapture log;
    imports.request(a, requestFor("square.obj"), {});
    imports.request(hung, requestFor("hang.obj"), {});
    imports.request(missing, requestFor("nowhere.obj"), {});
    imports.request(b, requestFor("b.obj"), {});
    const int64_t start = platform::steadyNanoseconds();
    imports.waitForAll();
    EXPECT_GE(msSince(start), 200.0);
    EXPECT_LT(msSince(start), 3000.0);
    EXPECT_EQ(imports.pending(), 0);
    EXPECT_NE(a.data, nullptr);
    EXPECT_NE(b.data, nullptr);
    EXPECT_EQ(missing.data, nullptr);
    EXPECT_FALSE(missing.importGivenUp);
    EXPECT_TRUE(hung.importGivenUp);

    // The four requests first, each with its two lines; then one outcome
    // each, in the order they came (the give-up at the limit, the others
    // whenever their worker got to them).
    const std::vector<std::string>& lines = log.lines();
    const std::vector<std::string> files = {"square.obj", "hang.obj", "nowhere.obj", "b.obj"};
    ASSERT_GE(lines.size(), 8u);
    for (size_t i = 0; i < files.size(); ++i) {
        EXPECT_EQ(lines[2 * i], "loading mesh file:");
        EXPECT_EQ(lines[2 * i + 1], files[i]);
    }
    std::vector<std::string> outcomes;
    for (size_t i = 8; i < lines.size(); ++i) {
        if (lines[i].rfind("loaded file:", 0) == 0 || lines[i].rfind("mesh import given up", 0) == 0)
            outcomes.push_back(lines[i].substr(0, lines[i].find(" in ms:")));
    }
    ASSERT_EQ(outcomes.size(), 4u);
    for (const char* outcome : {"loaded file:square.obj", "loaded file:nowhere.obj", "loaded file:b.obj",
                                "mesh import given up after 0 s:hang.obj"})
        EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), outcome), 1) << outcome;
}

TEST_F(MeshImportsFixture, AHandedOverImportReplacesWhatTheMeshDrewBefore)
{
    MeshImports imports;
    Mesh mesh;
    imports.request(mesh, requestFor("square.obj"), meshFileStamp("square.obj"));
    imports.waitForAll();
    ASSERT_NE(mesh.data, nullptr);
    // Uploaded: records would be there (no GL here, so only the flag).
    mesh.buffersBuilt = true;
    mesh.data.reset();

    demo.write("square.obj", "v 0 0 0\nv 8 0 0\nv 0 8 0\nf 1 2 3\n");
    imports.request(mesh, requestFor("square.obj"), meshFileStamp("square.obj"));
    imports.waitForAll();
    ASSERT_NE(mesh.data, nullptr);
    EXPECT_FALSE(mesh.buffersBuilt) << "the new data must be uploaded";
    EXPECT_FLOAT_EQ(mesh.boundsMax[0], 8.0f);
    EXPECT_EQ(mesh.requestedSize, std::string("v 0 0 0\nv 8 0 0\nv 0 8 0\nf 1 2 3\n").size());
}

TEST(MeshFileStamp, SizeAndTimeOfTheFileAndZerosWithoutOne)
{
    TempDemo demo;
    demo.write("m.obj", "v 0 0 0\n");
    const MeshFileStamp stamp = meshFileStamp(demo.path("m.obj"));
    EXPECT_EQ(stamp.size, 8u);
    EXPECT_NE(stamp.writeTime, 0u);
    EXPECT_EQ(meshFileStamp(demo.path("none.obj")), MeshFileStamp{});
    demo.write("m.obj", "v 0 0 0\nv 1 1 1\n");
    EXPECT_NE(meshFileStamp(demo.path("m.obj")), stamp);
}
