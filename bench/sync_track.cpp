// The value of a track at a fractional row, as every sync binding of every
// frame asks for it. Target: 30 ns a call on a 1,000-key track.
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

} // namespace

BENCHMARK(BM_GetValue)->ArgName("type")->Arg(int(KeyType::Step))->Arg(int(KeyType::Linear))
    ->Arg(int(KeyType::Spline))->Arg(-1);

BENCHMARK_MAIN();
