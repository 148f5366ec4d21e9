// Per-frame CPU cost of the host: the Demo item's whole frame (offscreen
// framebuffer, clears, modification pass, render pass, frame time, copy to
// the window) over a skene of 1,000 nested effects that do no GL work, in a
// 64 x 36 window. Run under an X server (xvfb-run).
#include "BenchState.h"
#include "host/DemoQML.h"
#include "host/SceneQML.h"
#include "items/IEffect.h"
#include "platform/Clock.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"
#include "sync/Rocket.h"

#include "support/QtTestApp.h"

#include <QOpenGLContext>
#include <QQuickWindow>
#include <benchmark/benchmark.h>

#include <memory>

namespace {

// Renders its children and nothing else.
class NullEffect : public IEffect {
public:
    explicit NullEffect(QQuickItem* parent = nullptr)
        : IEffect(parent)
    {
    }
    std::string getEffectName() override { return "Null"; }
    void render(RenderNameListItem* pRNLI) override { renderChildren(pRNLI); }
};

const int kWidth = 64;
const int kHeight = 36;
const int kEffects = 1000;

struct Host {
    Host()
    {
        ensureQtApp();
        demoDisplay().width = kWidth;
        demoDisplay().height = kHeight;
        // Playing and settled: every frame walks the whole skene and copies
        // the offscreen image to the window.
        Rocket::instance().on_pause(false);
        setLastShaderCompileTime(platform::millisecondClock() - 1000);

        window = std::make_unique<QQuickWindow>();
        window->resize(kWidth, kHeight);
        demo = new DemoQML(window->contentItem());
        demo->setParentItem(window->contentItem());
        scene = new SceneQML(demo);
        scene->setParentItem(demo);
        scene->setSceneEnabled(true);
        QQuickItem* parent = scene;
        for (int i = 0; i < kEffects; ++i) {
            auto* effect = new NullEffect(parent);
            effect->setParentItem(parent);
            parent = effect;
        }
        window->show();
        waitUntil([&] { return frameState().frameCounter >= 2; }, 10000);
        window->openglContext()->makeCurrent(window.get());
    }

    std::unique_ptr<QQuickWindow> window;
    DemoQML* demo = nullptr;
    SceneQML* scene = nullptr;
};

Host& host()
{
    static Host h;
    return h;
}

void BM_HostFrame(benchmark::State& state)
{
    Host& h = host();
    for (auto _ : state)
        h.demo->doBeforeRender();
    state.counters["items"] = kEffects;
    state.counters["ns_per_item"] =
        benchmark::Counter(double(state.iterations()) * kEffects, benchmark::Counter::kIsRate |
                                                                       benchmark::Counter::kInvert);
}
BENCHMARK(BM_HostFrame)->Unit(benchmark::kMicrosecond);

// The traversal alone, without the frame's GL calls around it.
void BM_SkeneTraversal(benchmark::State& state)
{
    Host& h = host();
    for (auto _ : state)
        h.scene->render(nullptr);
}
BENCHMARK(BM_SkeneTraversal)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
