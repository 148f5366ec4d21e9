// Host-side cost of render-target passes: a chain of 8 full-screen passes at
// 1280 x 720, each a RenderTarget item whose layer clears its target, with a
// Shader and a DrawVB quad below it that samples the previous pass through a
// Texture item. The time is the rendering thread's CPU time for the 8 passes:
// the driver's waits for the GPU (with Mesa's software rasteriser, for its
// worker threads) and the glFinish after each chain are left out. Run under
// an X server (xvfb-run).
#include <GL/glew.h>

#include "BenchState.h"
#include "gpu/RenderTarget.h"
#include "items/ClearQML.h"
#include "items/DrawVBQML.h"
#include "items/RenderTargetLayerQML.h"
#include "items/RenderTargetQML.h"
#include "items/ShadeQML.h"
#include "items/TextureQML.h"
#include "state/DemoDisplay.h"

#include "bench/ThreadCpuTime.h"
#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/TempDemo.h"

#include <QSGNode>
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

namespace {

const int kPasses = 8;

struct BenchShade : ShadeQML {
    using ShadeQML::ShadeQML;
    void resolve() { delete updatePaintNode(nullptr, nullptr); }
};
struct BenchVB : DrawVBQML {
    using DrawVBQML::DrawVBQML;
    void resolve() { delete updatePaintNode(nullptr, nullptr); }
};

struct Chain {
    Chain()
    {
        demo.enter();
        demo.write("pass.vert", "#version 430 compatibility\nlayout(location = 0) in vec3 p;\nout vec2 uv;\n"
                                "void main() { uv = p.xy; gl_Position = vec4(p.xy * 2.0 - 1.0, 0.0, 1.0); }\n");
        demo.write("pass.frag", "#version 430 compatibility\nin vec2 uv;\nuniform sampler2D tex;\nout vec4 c;\n"
                                "void main() { c = texture(tex, uv) * 0.5 + vec4(0.1); }\n");
        demoDisplay().width = 1280;
        demoDisplay().height = 720;
        skene.setProperty("sceneDir", "");
        for (int i = 0; i < kPasses; ++i) {
            auto* rt = new RenderTargetQML(&skene);
            auto* layer = new RenderTargetLayerQML(rt);
            layer->setTextureRT(QString("pass%1").arg(i));
            auto* clear = new ClearQML(layer);
            clear->setCR(0.2f);
            clear->setCD(1.0f);
            auto* shade = new BenchShade(rt);
            shade->setFile("pass");
            shade->resolve();
            auto* quad = new BenchVB(shade);
            quad->setType("quad");
            quad->setBlendMode("off");
            quad->setDepthTest(false);
            quad->resolve();
            auto* texture = new TextureQML(quad);
            texture->setTextureRT(QString("pass%1").arg((i + kPasses - 1) % kPasses));
            passes.push_back(rt);
        }
        window.bind();
        renderAll(); // makes the targets
        glFinish();
    }
    void renderAll()
    {
        for (RenderTargetQML* rt : passes)
            rt->render(nullptr);
    }

    GlTestContext gl;
    TempDemo demo;
    GlFramebuffer window{1280, 720};
    QQuickItem skene;
    std::vector<RenderTargetQML*> passes; // owned by skene
};

Chain& chain()
{
    static Chain c;
    return c;
}

void BM_RenderTargetChain(benchmark::State& state)
{
    Chain& c = chain();
    double total = 0.0;
    for (auto _ : state) {
        const double start = threadCpuSeconds();
        c.renderAll();
        const double spent = threadCpuSeconds() - start;
        glFinish();
        total += spent;
        state.SetIterationTime(spent);
    }
    state.counters["us_per_pass"] = total * 1e6 / (double(state.iterations()) * kPasses);
}
BENCHMARK(BM_RenderTargetChain)->UseManualTime()->Unit(benchmark::kMicrosecond);

// The stack alone: binding and unbinding the 8 targets nested, as a chain of
// nested RenderTarget items does, with nothing drawn.
void BM_NestedBindUnbind(benchmark::State& state)
{
    Chain& c = chain();
    std::vector<RenderTarget*> targets;
    for (RenderTargetQML* rt : c.passes)
        targets.push_back(rt->target());
    for (auto _ : state) {
        for (RenderTarget* t : targets)
            t->bind();
        for (auto it = targets.rbegin(); it != targets.rend(); ++it)
            (*it)->unbind();
    }
    state.counters["ns_per_pair"] = benchmark::Counter(double(state.iterations()) * kPasses,
                                                       benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_NestedBindUnbind)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
