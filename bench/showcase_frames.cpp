// The showcase (examples/lumenfall) in steady state: its frames driven as a
// capture drives them (track files, fixed-step clock, every frame rendered),
// at 64 x 36 so that the software rasteriser's share stays small.
//
// Heap allocations (tests/support/alloc/FrameAllocations.h, which the test
// command's frame-allocation test shares): every allocation of the rendering
// thread over --frames frames (default 1,000) after --warmup frames (default
// 120), sorted by its call stack:
//   ours          made by our code, directly or through a value type of Qt's
//                 (QString, QByteArray, QList, QVariant, ...) or the C++
//                 library: the target is 0 a frame;
//   qt_called     made inside Qt where our code called it (a timer that
//                 QQuickItem::polish starts, a property read);
//   gl_driver     made inside the GL driver (Mesa's software rasteriser
//                 allocates per draw; a hardware driver's differ);
//   qml_signals   made by the QML bindings and slots that our per-frame
//                 signals run (the engine's own);
//   outside_hook  made by the rendering thread outside the Demo item's
//                 window hook (Qt Quick's scene graph, the capture).
// The call sites of "ours" and "qt_called" are printed (with
// --sites=N, the top N of each).
//
// Instructions: under callgrind the statistics are zeroed after the warm-up
// and dumped after the counted frames, so that this command line
//   valgrind --tool=callgrind --collect-atstart=no
//     --toggle-collect='DemoQML::doBeforeRender()'
//     build/bench/bench_showcase_frames --warmup=4 --frames=3
// counts the window hook of 3 frames after 4 (scripts/frame-profile.sh).
// Run under an X server (xvfb-run).
#include "support/alloc/FrameAllocations.h"

#include <benchmark/benchmark.h>
#include <valgrind/callgrind.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int warmupFrames = 120;
int framesToCount = 1000;
int sitesToShow = 8;

void BM_ShowcaseFrames(benchmark::State& state)
{
    FrameAllocations counted;
    for (auto _ : state) {
        counted = countShowcaseFrameAllocations(
            warmupFrames, framesToCount, [] { CALLGRIND_ZERO_STATS; },
            [] { CALLGRIND_DUMP_STATS_AT("showcase steady frames"); });
        if (!counted.ran) {
            state.SkipWithError("the showcase did not run its frames");
            return;
        }
    }
    state.counters["frames"] = counted.frames;
    state.counters["ours"] = counted.ours;
    state.counters["qt_called"] = counted.qtCalled;
    state.counters["gl_driver"] = counted.glDriver;
    state.counters["qml_signals"] = counted.qmlSignals;
    state.counters["outside_hook"] = counted.outsideHook;
    if (counted.unsorted > 0)
        state.counters["unsorted"] = counted.unsorted;
    std::fputs(formatSites("ours", counted.ourSites, sitesToShow).c_str(), stderr);
    std::fputs(formatSites("inside Qt or the driver, called from our frame", counted.qtSites, sitesToShow).c_str(),
               stderr);
}
BENCHMARK(BM_ShowcaseFrames)->Iterations(1)->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    // --warmup=N, --frames=N and --sites=N are ours; the rest goes to the benchmark library.
    int kept = 1;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--warmup=", 9) == 0)
            warmupFrames = std::max(1, std::atoi(argv[i] + 9));
        else if (std::strncmp(argv[i], "--frames=", 9) == 0)
            framesToCount = std::max(1, std::atoi(argv[i] + 9));
        else if (std::strncmp(argv[i], "--sites=", 8) == 0)
            sitesToShow = std::atoi(argv[i] + 8);
        else
            argv[kept++] = argv[i];
    }
    argc = kept;
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
