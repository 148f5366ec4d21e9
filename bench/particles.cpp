// A particle frame: a DrawVB "drawUpdate" item advances a grid of particles
// by transform feedback and a DrawVB "pointGridDraw" item on the same vboId
// draws them as points into a 1280 x 720 target, as a skene does each frame.
//
// host_us: the rendering thread's CPU time for the two items' renders
//   (uniforms, bindings, the capture, waiting for its primitive count, the
//   draws). With Mesa's software rasteriser the vertex programs run on this
//   thread inside the draw calls, so for the 512 x 512 grid that time is
//   mostly llvmpipe's GPU work; the 1 x 1 grid runs the same calls with
//   almost nothing to shade and gives the host-side cost alone.
// gpu_us: wall time of the glFinish after the frame (llvmpipe's rasteriser
//   threads).
// Run under an X server (xvfb-run).
#include <GL/glew.h>

#include "BenchState.h"
#include "gpu/GpuResources.h"
#include "gpu/Shader.h"
#include "items/DrawVBQML.h"
#include "state/DemoDisplay.h"

#include "bench/ThreadCpuTime.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <QSGNode>
#include <benchmark/benchmark.h>

#include <chrono>
#include <string>

namespace {

const char* kVaryings = "vec4 posLife; vec4 vel";

// Particles fall from a fountain and are born again where they started
// once their life runs out.
const char* kUpdateVert = R"(#version 430 compatibility
layout(location = 0) in vec4 inPosLife;
layout(location = 1) in vec4 inVel;
uniform float g_timeStep;
out vec4 posLife;
out vec4 vel;
float hash(float n) { return fract(sin(n) * 43758.5453); }
void main() {
    float id = float(gl_VertexID);
    if (inPosLife.w <= 0.0) {
        posLife = vec4(0.0, 0.0, 0.0, 1.0 + 3.0 * hash(id));
        vel = vec4(hash(id + 1.0) - 0.5, 2.0 + hash(id + 2.0), hash(id + 3.0) - 0.5, 0.0);
    } else {
        vel = inVel + vec4(0.0, -0.98, 0.0, 0.0) * 0.016;
        posLife = vec4(inPosLife.xyz + vel.xyz * 0.016, inPosLife.w - 0.016);
    }
})";
const char* kDrawVert = R"(#version 430 compatibility
layout(location = 0) in vec4 posLife;
void main() { gl_Position = vec4(posLife.xy * 0.3, 0.0, 1.0); })";
const char* kDrawFrag = R"(#version 430 compatibility
out vec4 c;
void main() { c = vec4(1.0, 0.6, 0.2, 0.5); })";

struct BenchVB : DrawVBQML {
    using DrawVBQML::DrawVBQML;
    void resolve() { delete updatePaintNode(nullptr, nullptr); }
};

struct Fountain {
    Fountain(const TempDemo& demo, int side)
    {
        demo.write("update.vert", kUpdateVert);
        demo.write("draw.vert", kDrawVert);
        demo.write("draw.frag", kDrawFrag);
        update.setTransformFeedbackVaryings(kVaryings);
        update.load("update", "");
        draw.load("draw", "");
        const QString id = QString("fountain%1").arg(side);
        for (BenchVB* item : {&updater, &drawer}) {
            item->setVboId(id);
            item->setTfVaryings(kVaryings);
            item->setBlendMode("add");
            item->setDepthTest(false);
        }
        updater.setType("drawUpdate");
        updater.setGridWidth(side);
        updater.setGridHeight(side);
        drawer.setType("pointGridDraw");
        updater.resolve();
        drawer.resolve();
    }
    void frame()
    {
        gpu().shaders.use(&update);
        updater.render(nullptr);
        gpu().shaders.use(&draw);
        drawer.render(nullptr);
    }
    Shader update, draw;
    BenchVB updater, drawer;
};

struct Setup {
    Setup()
    {
        installRecordingNotifier();
        demo.enter();
        demoDisplay().width = 1280;
        demoDisplay().height = 720;
        target.bindCleared();
    }
    GlTestContext gl;
    TempDemo demo;
    GlFramebuffer target{1280, 720};
};

Setup& setup()
{
    static Setup s;
    return s;
}

void BM_ParticleFrame(benchmark::State& state)
{
    const int side = int(state.range(0));
    Fountain fountain(setup().demo, side);
    fountain.frame(); // seeds the ring
    glFinish();
    double host = 0.0, gpu = 0.0;
    for (auto _ : state) {
        const double start = threadCpuSeconds();
        fountain.frame();
        const double spent = threadCpuSeconds() - start;
        const auto finishStart = std::chrono::steady_clock::now();
        glFinish();
        gpu += std::chrono::duration<double>(std::chrono::steady_clock::now() - finishStart).count();
        host += spent;
        state.SetIterationTime(spent);
    }
    const double frames = double(state.iterations());
    state.counters["host_us"] = host * 1e6 / frames;
    state.counters["gpu_us"] = gpu * 1e6 / frames;
    state.counters["particles"] = double(fountain.drawer.particleCount());
}
BENCHMARK(BM_ParticleFrame)->Arg(512)->Arg(1)->UseManualTime()->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
