#pragma once
// Render state of the frame, shared by the frame renderer (DemoQML), the QML
// slots that steer it and the items that draw into it. Plain values without
// locks: the frame and the slots run on one thread under Qt Quick's basic
// render loop, so they never overlap.
#include <QObject>
#include <QPointer>

#include "state/FrameTimings.h"
#include "state/SavePoints.h"

#include <cstdint>
#include <string>
#include <vector>

// The save points that QML asked about in this frame and what it was told;
// emptied at the start of every frame so each frame reads fresh positions,
// and each name is looked up in the table once a frame however often QML
// asks (bindings ask for one component at a time).
struct SavePointQuery {
    struct Answer {
        std::string name;
        SavePointRecord values; // zeros for a name nothing was recorded under
    };
    std::vector<Answer> answers;

    void clear() { answers.clear(); }
};

// The demo time as the frame publishes it: at its start and again once
// the controller has polled the editors, so that every item of the frame
// reads the same values.
struct FrameTime {
    double demoSeconds = 0.0;   // the demo clock, as the controller shows it
    float timeStepMs = 0.0f;    // the controller's time step
    float averageFrameMs = 0.0f;
    bool paused = true;
    double pauseStepSeconds = 0.0; // the last editor jump while paused
};

struct FrameState {
    FrameState() = default;
    // Destroys the object still waiting for destruction.
    ~FrameState();
    FrameState(const FrameState&) = delete;
    FrameState& operator=(const FrameState&) = delete;

    // Published by the frame when it makes its offscreen targets. Render
    // target layers copy from windowFramebuffer (blitRT); texture items bind
    // the scene depth texture as "mainDepth".
    unsigned windowFramebuffer = 0;
    unsigned sceneColourTexture = 0;
    unsigned sceneDepthTexture = 0;

    // Set (and never cleared) at the end of the first frame that comes more
    // than 300 ms after the last shader compile, or at the end of the first
    // frame when nothing has compiled by then. Until then the frame draws
    // straight into the window: the first compiles stall, and an offscreen
    // image made during them is not worth showing.
    bool shadersSettled = false;
    bool shaderCompiled = false;      // at least one stage has been compiled
    uint32_t lastShaderCompileMs = 0; // millisecond clock at the last compile
    // Written by the shader module at the end of every stage compile (0
    // before the first); the frame takes it into the two above.
    uint32_t latestShaderCompileMs = 0;

    // Cleared by ackFirstDemoRender, by a failed skene load and after
    // firstDemoRender has been emitted.
    bool firstDemoRenderPending = true;
    // Set at the start of every frame; the first mesh item of the frame clears
    // the depth buffer and resets it.
    bool frameStarted = false;
    int frameCounter = 0;
    // Asked for by the controller's reloadParticles, read by the particle
    // passes, cleared through the Demo item's clearResetParticles.
    bool particleResetRequest = false;

    // Set by a capture: each frame waits until every mesh asked for is
    // imported (or given up), so what a frame shows does not depend on how
    // fast the imports ran. Otherwise no frame ever waits for one.
    bool waitForMeshImports = false;

    SavePointQuery savePointQuery;
    FrameTime time;
    // How many times the Demo item's reloadDemo has run.
    int reloadCount = 0;
    // Each frame's end and duration, added as it ends (the edit view's
    // status strip reads the last second of them).
    FrameTimings timings;

    // Where the time of loading went so far, in milliseconds, each part
    // added by its own floor: the Demo item's skene loads (host), every
    // shader build, files to linked program (gpu), the frame's waits for
    // mesh imports (host; a capture's frames wait, others never do). The
    // uploads, and imports made on the render thread, each mesh keeps
    // (Mesh::loadMs): the Demo item adds them at its first frame.
    struct LoadTimes {
        double skeneQmlMs = 0.0;
        double shaderMs = 0.0;
        double meshMs = 0.0;
    };
    LoadTimes loadTimes;
    // The Demo item's copy of loadTimes at the end of its first frame that
    // drew the skenes with every mesh they asked for, and
    // the steady clock's nanoseconds then (0 before it); start-up turns them
    // into its split of the time to the first frame.
    LoadTimes loadTimesAtFirstFrame;
    int64_t firstFrameEndNs = 0;

    // One object waiting to be destroyed after the frame, when nothing of the
    // traversal refers to it any more.
    QPointer<QObject> deferredDestruction;

    // Milliseconds of the clock that frame durations are measured with; when
    // empty, the frame uses start-up's SystemTime. Tests install their own.
    double (*clockMs)() = nullptr;
};

// The one frame state of the running demo, made by its owner (app/ProcessState.h).
FrameState& frameState();


// Records a shader stage compile at the given millisecond-clock time. The
// frame takes the shader module's latest compile time over every frame;
// tests record one directly.
void setLastShaderCompileTime(uint32_t ms);

// True when a compile has happened and more than 300 ms have passed since the
// last one (the clock wraps, so the difference is taken unsigned).
bool shaderCompilesQuiet(uint32_t nowMs);

// Queues obj for destruction at the end of the current frame. An object
// queued earlier and not destroyed yet is destroyed at once: the slot holds
// one.
void deferDestruction(QObject* obj);

// Destroys the queued object, if any. Called by the frame after the skenes.
void destroyDeferred();
