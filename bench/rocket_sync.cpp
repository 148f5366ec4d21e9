// Cost of reading sync tracks from QML: one sync() call on a cached track with
// 1,000 tracks cached, one frame's re-evaluation of 500 bindings to sync(),
// one sync() of a track whose data has not arrived (an editor away) with the
// debug log filtered off, and a trigger's first call at row 50,000.
#include "BenchState.h"
#include "app/RocketQML.h"
#include "state/ActiveSkeneList.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"

#include "support/QtTestApp.h"

#include <QLoggingCategory>
#include <QQmlComponent>
#include <QQmlEngine>
#include <benchmark/benchmark.h>

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
