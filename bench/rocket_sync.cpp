// Cost of reading sync tracks from QML: one sync() call on a cached track with
// 1,000 tracks cached, one frame's re-evaluation of 500 bindings to sync(),
// the controller's whole frame with 500 properties that follow tracks by
// script bindings, by Track sources, or that follow nothing (the same run, so
// the three compare),
// one sync() of a track whose data has not arrived (an editor away) with the
// debug log filtered off, and a trigger's first call at row 50,000.
#include "BenchState.h"
#include "ThreadCpuTime.h"
#include "app/RocketQML.h"
#include "app/TrackQML.h"
#include "state/ActiveSkeneList.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/QtTestApp.h"

#include <QLoggingCategory>
#include <QQmlComponent>
#include <QQmlEngine>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>

namespace {

// A file-playback rocket for skene "intro" whose 1,000 tracks each hold keys.
void prepareRocket()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    ensureQtApp();
    rocket_flags().rocket_enabled = false;
    activeSkeneList().entries = {{"intro", 1}};
    Rocket& rocket = Rocket::instance();
    rocket.connect_rockets();
    for (int i = 0; i < 1000; ++i) {
        SyncTrack* t = rocket.GetSyncTrack("intro.param" + std::to_string(i));
        for (int row = 0; row < 64; row += 8)
            set_key(t, TrackKey{row, float(row + i), int32_t(KeyType::Linear)});
    }
    rocket.evaluate_tracks_at(13.5);
}

void BM_SyncCachedTrack(benchmark::State& state)
{
    prepareRocket();
    RocketQML controller;
    const QString name = "intro.param500";
    for (auto _ : state)
        benchmark::DoNotOptimize(controller.sync(name));
}
BENCHMARK(BM_SyncCachedTrack);

void BM_FiveHundredBindingsPerFrame(benchmark::State& state)
{
    prepareRocket();
    QQmlEngine engine;
    QString qml = "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\nItem {\n Rocket { id: rocket }\n";
    for (int i = 0; i < 500; ++i)
        qml += QString(" property real p%1: rocket.sync(\"intro.param%1\") + rocket.syncUpdate\n").arg(i);
    qml += " function frame() { rocket.rocketUpdated() }\n}\n";
    QQmlComponent component(&engine);
    component.setData(qml.toUtf8(), QUrl());
    std::unique_ptr<QObject> root(component.create());
    if (!root) {
        state.SkipWithError(component.errorString().toUtf8().constData());
        return;
    }
    auto* rocket = root->findChild<RocketQML*>();
    for (auto _ : state) {
        // What the controller's render does once a frame after polling.
        Q_EMIT rocket->rocketUpdated();
    }
    state.SetLabel("one frame = all 500 bindings re-evaluated");
}
BENCHMARK(BM_FiveHundredBindingsPerFrame)->Unit(benchmark::kMicrosecond);

// How 500 properties of a skene follow the tracks intro.param0..499.
enum class Follow { Nothing, Bindings, Sources };

// CPU microseconds of one controller frame while the demo plays, over
// `frames` frames: the capture's fixed step moves the row on by a 60 Hz
// frame, so every track's value moves and every source writes. The music
// only gives the clock its time. Negative when the skene did not load.
double controllerFrameMicroseconds(Follow follow, int frames)
{
    QQmlEngine engine;
    QString qml = "import QtQuick 2.15\nimport QuellinDemoSystem 1.0\nItem {\n Rocket { id: rocket }\n";
    for (int i = 0; i < 500; ++i) {
        switch (follow) {
        case Follow::Nothing:
            qml += QString(" property real p%1\n").arg(i);
            break;
        case Follow::Bindings:
            qml += QString(" property real p%1: rocket.sync(\"intro.param%1\") + rocket.syncUpdate\n").arg(i);
            break;
        case Follow::Sources:
            qml += QString(" property real p%1\n Track on p%1 { name: \"intro.param%1\" }\n").arg(i);
            break;
        }
    }
    qml += "}\n";
    QQmlComponent component(&engine);
    component.setData(qml.toUtf8(), QUrl());
    std::unique_ptr<QObject> root(component.create());
    if (!root)
        return -1.0;
    auto* controller = root->findChild<RocketQML*>();
    Rocket& rocket = Rocket::instance();
    double seconds = 0.0;
    const double start = threadCpuSeconds();
    for (int n = 0; n < frames; ++n) {
        seconds = seconds < 3.0 ? seconds + 1.0 / 60.0 : 0.0; // rows 0..50
        rocket.hold_at(seconds);
        controller->render(nullptr);
    }
    return (threadCpuSeconds() - start) * 1e6 / frames;
}

// The three skenes in turn in each iteration (one alive at a time: every
// live source is written each frame, whichever skene holds it), so machine
// noise hits all three alike. ratio: what the sources add to a frame over
// the skene without either, against what the bindings add.
void BM_TrackSourcesAgainstBindings(benchmark::State& state)
{
    prepareRocket();
    if (!timeState().music) {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        timeState().music = std::make_unique<Music>();
        if (!timeState().music->load(std::string(TARVONIC_TEST_DATA) + "/test_music.mp3")) {
            state.SkipWithError("the test music did not load");
            return;
        }
        timeState().music->set_paused(true);
    }
    Rocket& rocket = Rocket::instance();
    const double evalRow = rocket.eval_row();
    rocket.use_fixed_step(1000.0 / 60.0);
    rocket.set_demo_loaded(true);
    rocket.on_pause(false);
    const int frames = 300;
    double nothing = 0.0, bindings = 0.0, sources = 0.0;
    for (auto _ : state) {
        nothing += controllerFrameMicroseconds(Follow::Nothing, frames);
        bindings += controllerFrameMicroseconds(Follow::Bindings, frames);
        sources += controllerFrameMicroseconds(Follow::Sources, frames);
    }
    rocket.on_pause(true);
    rocket.use_fixed_step(0.0);
    rocket.evaluate_tracks_at(evalRow);
    if (nothing < 0.0 || bindings < 0.0 || sources < 0.0) {
        state.SkipWithError("a skene did not load");
        return;
    }
    const double n = double(state.iterations());
    state.counters["nothing_us"] = nothing / n;
    state.counters["bindings_us"] = bindings / n;
    state.counters["sources_us"] = sources / n;
    state.counters["ratio"] = (sources - nothing) / (bindings - nothing);
    state.SetLabel("one controller frame, 500 properties following tracks");
}
BENCHMARK(BM_TrackSourcesAgainstBindings)->Iterations(3)->Unit(benchmark::kMillisecond);

void BM_SyncTrackWithoutData(benchmark::State& state)
{
    prepareRocket();
    RocketQML controller;
    const QString name = "intro.waiting";
    Rocket::instance().GetSyncTrack("intro.waiting")->data_received = 0;
    QLoggingCategory::setFilterRules("default.debug=false");
    for (auto _ : state)
        benchmark::DoNotOptimize(controller.sync(name));
    QLoggingCategory::setFilterRules(QString());
}
BENCHMARK(BM_SyncTrackWithoutData);

void BM_SyncTriggerFirstCall(benchmark::State& state)
{
    prepareRocket();
    RocketQML controller;
    Rocket& rocket = Rocket::instance();
    SyncTrack* t = rocket.GetSyncTrack("intro.trigger");
    for (int row = 60000; row < 61000; row += 100)
        set_key(t, TrackKey{row, 1.0f, int32_t(KeyType::Step)});
    const double evalRow = rocket.eval_row();
    rocket.evaluate_tracks_at(50000.0);
    const QString name = "intro.trigger";
    for (auto _ : state) {
        rocket.forget_triggers(); // each call is the first for its track
        benchmark::DoNotOptimize(controller.syncTrigger(name));
    }
    rocket.evaluate_tracks_at(evalRow);
}
BENCHMARK(BM_SyncTriggerFirstCall)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
