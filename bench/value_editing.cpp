// The edit view's costs on the GUI side: building the skene tree after a
// load, landing one edit at the far end of a skene, and the save-point
// questions of a frame. The skene: 10 groups of 100 Pos items below one
// skene root. Debug lines are dropped, so the figures are the work itself.
// Run under an X server (xvfb-run).
#include "BenchState.h"
#include "editor/SkeneTree.h"
#include "host/DemoQML.h"
#include "host/SceneQML.h"
#include "items/GroupQML.h"
#include "items/PosQML.h"
#include "state/ActiveSkeneList.h"
#include "state/FrameState.h"
#include "state/PendingEdit.h"
#include "state/SavePoints.h"

#include "support/QtTestApp.h"

#include <QQuickItem>
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

namespace {

void dropMessages(QtMsgType, const QMessageLogContext&, const QString&) {}

struct Skene {
    Skene()
    {
        ensureQtApp();
        qInstallMessageHandler(dropMessages);
        activeSkeneList().entries = {{"bench", 1}};
        demo = std::make_unique<QQuickItem>();
        auto* scene = new SceneQML(demo.get());
        scene->setParentItem(demo.get());
        scene->setProperty("sceneName", "bench");
        for (int g = 0; g < 10; ++g) {
            auto* group = new GroupQML(scene);
            group->setParentItem(scene);
            for (int p = 0; p < 100; ++p) {
                auto* pos = new PosQML(group);
                pos->setParentItem(group);
            }
        }
        root = scene;
    }
    std::unique_ptr<QQuickItem> demo;
    SceneQML* root = nullptr;
};

void BM_BuildSkeneTree(benchmark::State& state)
{
    Skene skene;
    for (auto _ : state) {
        QObject owner;
        benchmark::DoNotOptimize(buildSkeneTree(skene.demo.get(), &owner));
    }
    state.SetItemsProcessed(state.iterations() * 1011);
}
BENCHMARK(BM_BuildSkeneTree)->Unit(benchmark::kMillisecond);

void BM_LandEditAtTheLastItem(benchmark::State& state)
{
    Skene skene;
    for (auto _ : state) {
        PendingEdit& edit = pendingEdit();
        edit.targetPath = "/0:=RocketScene/9:=Group/99:=Pos";
        edit.propertyName = "x";
        edit.value = "0.5";
        benchmark::DoNotOptimize(skene.root->modVal(skene.root, "/0:=RocketScene"));
    }
}
BENCHMARK(BM_LandEditAtTheLastItem)->Unit(benchmark::kMicrosecond);

// Nine components of four save points, as four overlays' bindings ask.
void BM_SavePointQuestionsOfAFrame(benchmark::State& state)
{
    ensureQtApp();
    DemoQML demo;
    const QString names[4] = {"a", "b", "c", "d"};
    for (const QString& n : names)
        recordSavePoint(n.toStdString(), SavePointRecord());
    for (auto _ : state) {
        frameState().savePointQuery.clear();
        float sum = 0;
        for (const QString& n : names) {
            sum += demo.savePointX(n) + demo.savePointY(n) + demo.savePointZ(n);
            sum += demo.savePointX2D(n) + demo.savePointY2D(n) + demo.savePointZ2D(n);
            sum += demo.savePointCX(n) + demo.savePointCY(n) + demo.savePointCZ(n);
        }
        benchmark::DoNotOptimize(sum);
    }
}
BENCHMARK(BM_SavePointQuestionsOfAFrame)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
