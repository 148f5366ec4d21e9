// What watching the skenes' QML costs. A paused demo in file playback (its
// frames draw nothing, so the frame is the host's own work and the file
// poll) with N skenes loaded and watched, against the same N loaded one by
// one (loadSkene), which watches none; one look over the
// files of N skenes (once a second while paused); and a save of one skene
// to its reload among N (the poll's look, the engine's cache cleared, the
// skene compiled and made anew). Each skene has a Skene.qml, a component
// and a Mesh* component. Run under an X server (xvfb-run).
#include "BenchState.h"
#include "gpu/FileAutoLoader.h"
#include "gpu/GpuResources.h"
#include "host/DemoQML.h"
#include "host/SkeneWatch.h"
#include "platform/Clock.h"
#include "platform/GlContext.h"
#include "state/ActiveSkeneList.h"
#include "state/DemoDisplay.h"
#include "state/DemoFolders.h"
#include "state/FrameState.h"
#include "state/SkeneSetups.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"

#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <QCoreApplication>
#include <QQmlComponent>
#include <QQmlEngine>
#include <QQuickWindow>
#include <benchmark/benchmark.h>

#include <chrono>
#include <filesystem>
#include <map>
#include <memory>
#include <string>

namespace {

const int kWidth = 64;
const int kHeight = 36;

std::string skeneName(int i)
{
    return "skene" + std::to_string(100 + i);
}

// A demo folder of n skenes, loaded by a Demo item in its own window:
// watched (reloadDemo) or not (loadSkene).
struct WatchedDemo {
    WatchedDemo(int n, bool watched)
    {
        ensureQtApp();
        for (int i = 0; i < n; ++i) {
            const std::string name = skeneName(i);
            folder.write("fx/" + name + "/Skene.qml",
                         "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\n"
                         "Scene { sceneEnabled: true; Title {} MeshRock {} }\n");
            folder.write("fx/" + name + "/Title.qml", "import QuellinDemoSystem 1.0\nGroup { name: \"title\" }\n");
            folder.write("fx/" + name + "/MeshRock/Mesh.qml", "import QtQuick 2.15\nItem {}\n");
        }
        folder.makeDir("fx");
        DemoFolders& folders = demoFolders();
        folders.rootDir = folder.root();
        folders.fxPath = folder.path("fx");
        folders.skeneDirectories = listSkeneDirectories(folders.fxPath);
        activeSkeneList().entries.clear();
        for (int i = 0; i < n; ++i)
            activeSkeneList().entries.push_back({skeneName(i), i + 1});

        demoDisplay().width = kWidth;
        demoDisplay().height = kHeight;
        // File playback, paused: nothing renders and no frame sleeps, but
        // every frame runs the file poll.
        rocket_flags().rocket_enabled = false;
        Rocket::instance().on_pause(true);
        setLastShaderCompileTime(platform::millisecondClock() - 1000);

        window = std::make_unique<QQuickWindow>();
        window->resize(kWidth, kHeight);
        engine = std::make_unique<QQmlEngine>();
        QQmlComponent component(engine.get());
        component.setData("import QuellinDemoSystem 1.0\nDemo {}\n",
                          QUrl::fromLocalFile(QString::fromStdString(folder.path("fx/main.qml"))));
        demo.reset(qobject_cast<DemoQML*>(component.create()));
        demo->setParentItem(window->contentItem());
        if (watched) {
            demo->reloadDemo();
        } else {
            for (int i = 0; i < n; ++i)
                demo->loadSkene(demo.get(), folder.path("fx/" + skeneName(i) + "/Skene.qml"), skeneName(i), false);
        }
        const int frames = frameState().frameCounter;
        window->show();
        waitUntil([&] { return frameState().frameCounter >= frames + 2; }, 10000);
        platform::makeGlContextCurrent(window->openglContext(), window.get());
    }

    TempDemo folder;
    std::unique_ptr<QQuickWindow> window;
    std::unique_ptr<QQmlEngine> engine;
    std::unique_ptr<DemoQML> demo;
};

// One demo at a time: each has its own window and state.
WatchedDemo& demoOf(int n, bool watched = true)
{
    static std::unique_ptr<WatchedDemo> current;
    static int currentN = -1;
    static bool currentWatched = false;
    if (currentN != n || currentWatched != watched) {
        current.reset();
        current = std::make_unique<WatchedDemo>(n, watched);
        currentN = n;
        currentWatched = watched;
    }
    return *current;
}

// Arguments: skenes, watched (1) or not (0).
void BM_PausedFrame(benchmark::State& state)
{
    WatchedDemo& d = demoOf(int(state.range(0)), state.range(1) != 0);
    for (auto _ : state)
        d.demo->doBeforeRender();
    state.counters["skenes"] = double(state.range(0));
    state.counters["watched"] = double(state.range(1));
}
BENCHMARK(BM_PausedFrame)
    ->Args({8, 0})
    ->Args({8, 1})
    ->Args({64, 0})
    ->Args({64, 1})
    ->Unit(benchmark::kMicrosecond);

// One look, as the frame takes it once a second.
void BM_SkeneFilesLook(benchmark::State& state)
{
    WatchedDemo& d = demoOf(int(state.range(0)));
    SkeneWatch watch;
    const std::string fx = d.folder.root() + "/fx/";
    for (int i = 0; i < state.range(0); ++i)
        watch.watch(fx, skeneName(i));
    for (auto _ : state)
        benchmark::DoNotOptimize(watch.changedSkenes());
    state.counters["watched_skenes"] = double(state.range(0));
}
BENCHMARK(BM_SkeneFilesLook)->Arg(8)->Arg(64)->Unit(benchmark::kMicrosecond);

// A save of the first skene to its reload: the frame that looks, and the
// reload it queued.
void BM_SaveToReload(benchmark::State& state)
{
    WatchedDemo& d = demoOf(int(state.range(0)));
    const std::string path = d.folder.path("fx/" + skeneName(0) + "/Title.qml");
    int saves = 0;
    for (auto _ : state) {
        state.PauseTiming();
        std::filesystem::last_write_time(path, std::filesystem::last_write_time(path) + std::chrono::seconds(++saves));
        gpu().shaders.files().resetPollClock();
        state.ResumeTiming();
        d.demo->doBeforeRender();
        QCoreApplication::processEvents();
    }
    state.counters["watched_skenes"] = double(state.range(0));
}
BENCHMARK(BM_SaveToReload)->Arg(8)->Arg(64)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
