// The value of a track at a fractional row, as every sync binding of every
// frame asks for it, on a 1,000-key track: at rows spread over the whole
// track (target 15 ns), and at rows that advance as frames do (target 5 ns).
#include "sync/track.h"

#include <benchmark/benchmark.h>

#include <random>
#include <vector>

namespace {

constexpr int kKeys = 1000;
constexpr int kRowsApart = 8;

// keyType < 0 mixes all five types.
void fill(SyncTrack* track, int keyType)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> values(-10.0f, 10.0f);
    for (int i = 0; i < kKeys; ++i) {
        const int type = keyType >= 0 ? keyType : i % 5;
        set_key(track, {i * kRowsApart, values(rng), type});
    }
}

void BM_GetValue(benchmark::State& state)
{
    SyncTrack track{};
    fill(&track, int(state.range(0)));
    // Rows spread over the whole track, fixed up front so the loop measures
    // only the lookup.
    std::mt19937 rng(2);
    std::uniform_real_distribution<double> rows(-4.0, kKeys * kRowsApart + 4.0);
    std::vector<double> queries(4096);
    for (double& q : queries)
        q = rows(rng);

    size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(get_value(&track, queries[i]));
        i = (i + 1) & (queries.size() - 1);
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    clear_keys(&track);
}

// Rows as a playing demo asks for them: a fifth of a row further each call
// (60 frames a second at 11.7 rows a second), mixed key types, wrapping
// round at the end.
void BM_GetValueAdvancing(benchmark::State& state)
{
    SyncTrack track{};
    fill(&track, -1);
    const double end = kKeys * kRowsApart + 4.0;
    double row = -4.0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(get_value(&track, row));
        row += 0.2;
        if (row > end)
            row = -4.0;
    }
    state.SetItemsProcessed(int64_t(state.iterations()));
    clear_keys(&track);
}
BENCHMARK(BM_GetValueAdvancing);

} // namespace

BENCHMARK(BM_GetValue)->ArgName("type")->Arg(int(KeyType::Step))->Arg(int(KeyType::Linear))
    ->Arg(int(KeyType::Spline))->Arg(-1);

BENCHMARK_MAIN();
