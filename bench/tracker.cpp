// The sync editor at the size of a big demo: 1,000 tracks over 10,000 rows
// with 100,000 keys (100 a track, of every interpolation).
// - BM_OpenProject: reading the project file. Target: 300 ms.
// - BM_FullResend: DEFERRED_PURGE, every key, DATA_RECEIVED_ALL to a
//   connected demo (the demo's own sync client on a thread of its own), until
//   the demo holds them all. Target: 100 ms.
// - BM_PaintWhileScrolling: one repaint of a 1600 x 1000 grid, offscreen,
//   scrolled a page further each time. Target: 8 ms. /music:1 draws the
//   example's music beside the rows, waveform and spectrum.
// - BM_TracksWithFiles: a demo with 10,000 tracks connects to an editor
//   (its window open) whose project knows none of them, and each has a
//   track file of 8 keys in the demo's sync/ folder, until the demo holds
//   them all. Target: 500 ms.
// Run under an X server (xvfb-run -a).
#include "support/DemoClientThread.h"
#include "support/QtTestApp.h"
#include "tracker/lib/TrackerSession.h"
#include "tracker/ui/TrackGrid.h"
#include "tracker/ui/TrackerWindow.h"

#include "sync/track_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QElapsedTimer>
#include <QImage>
#include <QLoggingCategory>
#include <QScrollBar>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>

using namespace tracker;

namespace {

constexpr int kTracks = 1000;
constexpr int kKeysPerTrack = 100;
constexpr int kRows = 10000;

std::string trackName(int t)
{
    return "skene" + std::to_string(t / 25) + ".part" + std::to_string(t % 25);
}

void fill(TrackerModel& model)
{
    std::vector<TrackKey> keys(kKeysPerTrack);
    for (int t = 0; t < kTracks; ++t) {
        for (int k = 0; k < kKeysPerTrack; ++k)
            keys[size_t(k)] = {k * (kRows / kKeysPerTrack) + t % 7, float(k) * 0.37f - float(t), k % 5};
        model.replaceKeys(model.addTrack(trackName(t)), keys.data(), kKeysPerTrack);
    }
}

struct Fixture {
    Fixture()
    {
        ensureQtApp();
        // One debug line per received key would measure the terminal.
        QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
        fill(model);
        path = dir.filePath(QStringLiteral("big.rocket"));
        QString error;
        saveProject(path, model, &error);
    }
    QTemporaryDir dir;
    QString path;
    TrackerModel model;
};

Fixture& fixture()
{
    static Fixture f;
    return f;
}

void BM_OpenProject(benchmark::State& state)
{
    Fixture& f = fixture();
    for (auto _ : state) {
        TrackerModel model;
        const LoadResult r = loadProject(f.path, model);
        if (r.status != LoadResult::Loaded || model.keyCount() != kTracks * kKeysPerTrack)
            state.SkipWithError("the project did not load whole");
        benchmark::DoNotOptimize(model.keyCount());
    }
}
BENCHMARK(BM_OpenProject)->Unit(benchmark::kMillisecond)->Iterations(5);

void BM_FullResend(benchmark::State& state)
{
    Fixture& f = fixture();
    SyncServer server;
    server.listen(0);
    TrackerSession session(f.model, server);
    DemoClientThread demo;
    if (demo.connect(server.port()) != 0) {
        state.SkipWithError("no connection");
        return;
    }
    std::vector<SyncTrack*> tracks(kTracks);
    demo.run([&](SyncDevice* d) {
        for (int t = 0; t < kTracks; ++t)
            tracks[size_t(t)] = sync_get_track(d, trackName(t).c_str(), 1);
    });
    SyncTrack* last = tracks.back();
    if (!demo.waitFor([&](SyncDevice*) { return last->num_keys == kKeysPerTrack; }, 30000)) {
        state.SkipWithError("the tracks did not arrive");
        return;
    }
    for (auto _ : state) {
        // The last track's last key marks the end of the resend.
        demo.run([&](SyncDevice*) { delete_key(last, last->keys[kKeysPerTrack - 1].row); });
        const auto start = std::chrono::steady_clock::now();
        session.resendAll();
        if (!demo.waitFor([&](SyncDevice*) { return last->num_keys == kKeysPerTrack; }, 10000))
            state.SkipWithError("the resend did not arrive");
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.counters["keys"] = kTracks * kKeysPerTrack;
}
BENCHMARK(BM_FullResend)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(10);

void BM_PaintWhileScrolling(benchmark::State& state)
{
    Fixture& f = fixture();
    SyncServer server;
    TrackerSession session(f.model, server);
    TrackGrid grid(session);
    if (state.range(0) != 0) {
        MusicLoader loader;
        std::shared_ptr<const MusicOverview> music;
        QString why;
        QObject::connect(&loader, &MusicLoader::loaded, [&](std::shared_ptr<const MusicOverview> m) { music = m; });
        QObject::connect(&loader, &MusicLoader::failed, [&](const QString& w) { why = w; });
        loader.load(QStringLiteral(TARVONIC_SOURCE_DIR "/examples/lumenfall/music.mp3"),
                    0.5 / sync_row_rate(sync_default_bpm, sync_default_rows_per_beat));
        QElapsedTimer waited;
        waited.start();
        while (!music && why.isEmpty() && waited.elapsed() < 30000)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        if (!music) {
            state.SkipWithError(("no music: " + why.toStdString()).c_str());
            return;
        }
        grid.setMusic(music);
        grid.setMusicView(TrackGrid::MusicView::WaveformAndSpectrum);
    }
    grid.resize(1600, 1000);
    QCoreApplication::processEvents();
    QImage image(grid.viewport()->size(), QImage::Format_RGB32);
    QScrollBar* v = grid.verticalScrollBar();
    QScrollBar* h = grid.horizontalScrollBar();
    int step = 0;
    for (auto _ : state) {
        v->setValue((v->value() + v->pageStep()) % (v->maximum() + 1));
        if (++step % 10 == 0)
            h->setValue((h->value() + h->pageStep()) % (h->maximum() + 1));
        grid.viewport()->render(&image);
    }
    state.counters["rows"] = grid.visibleRows();
}
BENCHMARK(BM_PaintWhileScrolling)->ArgName("music")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

constexpr int kFileTracks = 10000;

void BM_TracksWithFiles(benchmark::State& state)
{
    ensureQtApp();
    QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false"));
    QTemporaryDir dir;
    QDir(dir.path()).mkdir(QStringLiteral("sync"));
    std::vector<std::string> names;
    for (int t = 0; t < kFileTracks; ++t) {
        names.push_back("skene" + std::to_string(t / 100) + ".group" + std::to_string(t / 10 % 10) + ".t"
                        + std::to_string(t));
        // The track file's layout: a count, then row, value, type a key.
        QByteArray bytes;
        auto put32 = [&](uint32_t v) {
            for (int i = 0; i < 4; ++i)
                bytes.append(char(v >> (8 * i)));
        };
        put32(8);
        for (int k = 0; k < 8; ++k) {
            const float value = float(t + k);
            uint32_t bits;
            std::memcpy(&bits, &value, 4);
            put32(uint32_t(k * 16));
            put32(bits);
            bytes.append(char(k % 5));
        }
        std::string relative;
        track_file_path("sync", names.back().c_str(), &relative);
        QFile file(dir.filePath(QString::fromStdString(relative)));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size()) {
            state.SkipWithError("cannot write the track files");
            return;
        }
    }
    DemoClientThread demo;
    std::vector<SyncTrack*> tracks(kFileTracks);
    demo.run([&](SyncDevice* d) {
        for (int t = 0; t < kFileTracks; ++t)
            tracks[size_t(t)] = sync_get_track(d, names[size_t(t)].c_str(), 1);
    });
    SyncTrack* last = tracks.back();
    for (auto _ : state) {
        state.PauseTiming();
        auto model = std::make_unique<TrackerModel>();
        auto server = std::make_unique<SyncServer>();
        server->listen(0);
        auto session = std::make_unique<TrackerSession>(*model, *server);
        session->setDemoDir(dir.path());
        session->openProject(dir.filePath(QStringLiteral("fresh.rocket")));
        auto window = std::make_unique<TrackerWindow>(*session);
        window->show();
        QCoreApplication::processEvents();
        state.ResumeTiming();
        const auto start = std::chrono::steady_clock::now();
        // The connection asks for every track again, in index order.
        if (demo.connect(server->port()) != 0
            || !demo.waitFor([&](SyncDevice*) { return last->num_keys == 8; }, 60000))
            state.SkipWithError("the tracks did not arrive");
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
        if (model->trackCount() != kFileTracks)
            state.SkipWithError("not every track became a column");
        demo.disconnect();
        window.reset();
        session.reset();
        server.reset();
        model.reset();
    }
    state.counters["tracks"] = kFileTracks;
}
BENCHMARK(BM_TracksWithFiles)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

} // namespace

BENCHMARK_MAIN();
