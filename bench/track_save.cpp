// A sync editor's SAVE_TRACKS of 500 tracks (32 keys each), as the render
// thread pays for it (target: at most 50 ms). Arg 1 is the whole save with
// every file flushed to the disk and in place, for comparison: that is what
// the frame paid while each file was flushed before the next.
#include "platform/Files.h"
#include "sync/sync_device.h"

#include "support/TempDemo.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

SyncDevice* deviceWithTracks(int count)
{
    SyncDevice* device = sync_create_device("sync", 1);
    for (int i = 0; i < count; ++i) {
        SyncTrack* track = sync_get_track(device, ("skene" + std::to_string(i % 10) + ".param" + std::to_string(i)).c_str(), 1);
        for (int row = 0; row < 32 * 8; row += 8)
            set_key(track, TrackKey{row, float(row * i), int32_t(KeyType::Linear)});
    }
    return device;
}

void BM_SaveFiveHundredTracks(benchmark::State& state)
{
    const bool untilInPlace = state.range(0) != 0;
    TempDemo demo;
    demo.makeDir("sync");
    demo.enter();
    SyncDevice* device = deviceWithTracks(500);
    for (auto _ : state) {
        sync_save_tracks(device);
        if (untilInPlace) {
            platform::finishBackgroundWrites();
        } else {
            state.PauseTiming();
            platform::finishBackgroundWrites();
            state.ResumeTiming();
        }
    }
    sync_destroy_device(device);
}
BENCHMARK(BM_SaveFiveHundredTracks)->ArgName("untilInPlace")->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond)->Iterations(10);

} // namespace

BENCHMARK_MAIN();
