// The value of a track at a fractional row, as every sync binding of every
// frame asks for it, on a 1,000-key track: at rows spread over the whole
// track (target 15 ns), and at rows that advance as frames do (target 5 ns).
#include "sync/track.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <random>
#include <vector>

namespace {

constexpr int kKeys = 1000;
constexpr int kRowsApart = 8;

// keyType -1 mixes all five types, -2 the four polynomial ones.
void fill(SyncTrack* track, int keyType)
{
    std::mt19937 rng(1);
    std::uniform_real_distribution<float> values(-10.0f, 10.0f);
    for (int i = 0; i < kKeys; ++i) {
        const int type = keyType >= 0 ? keyType : i % (keyType == -1 ? 5 : 4);
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

// The same advancing rows against an inline evaluation of each segment's
// shape (what a demo written in C++ would compute, its coefficients made up
// front), in one run: the ratio says what get_value costs beyond the shape's
// arithmetic. Target: at most 2.
struct InlineSegment {
    double row0, span, value0, rise, a, b, c;
};

void BM_GetValueAdvancingAgainstInline(benchmark::State& state)
{
    SyncTrack track{};
    fill(&track, -2);
    std::vector<InlineSegment> segments;
    for (int i = 0; i + 1 < track.num_keys; ++i) {
        const TrackKey& k0 = track.keys[i];
        const TrackKey& k1 = track.keys[i + 1];
        const double shapes[4][3] = {{0, 0, 0}, {1, 0, 0}, {0, 3, -2}, {0, 1, 0}};
        const double* sh = shapes[k0.type];
        segments.push_back({double(k0.row), double(k1.row - k0.row), k0.value,
                            k0.type == 0 ? 0.0 : double(k1.value - k0.value), sh[0], sh[1], sh[2]});
    }
    const double first = track.keys[0].row;
    const double last = track.keys[track.num_keys - 1].row;
    const int calls = 1 << 16;
    double trackSeconds = 0.0, inlineSeconds = 0.0;
    for (auto _ : state) {
        double row = first;
        float sum = 0.0f;
        auto start = std::chrono::steady_clock::now();
        for (int n = 0; n < calls; ++n) {
            sum += get_value(&track, row);
            row += 0.2;
            if (row >= last)
                row = first;
        }
        trackSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(sum);

        row = first;
        size_t at = 0;
        float inlineSum = 0.0f;
        start = std::chrono::steady_clock::now();
        for (int n = 0; n < calls; ++n) {
            while (row >= segments[at].row0 + segments[at].span)
                ++at;
            const InlineSegment& g = segments[at];
            const double t = (row - g.row0) / g.span;
            inlineSum += float(g.value0 + g.rise * (t * (g.a + t * (g.b + t * g.c))));
            row += 0.2;
            if (row >= last) {
                row = first;
                at = 0;
            }
        }
        inlineSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(inlineSum);
    }
    const double perCall = 1e9 / (double(state.iterations()) * calls);
    state.counters["get_value_ns"] = trackSeconds * perCall;
    state.counters["inline_ns"] = inlineSeconds * perCall;
    state.counters["ratio"] = trackSeconds / inlineSeconds;
    clear_keys(&track);
}
BENCHMARK(BM_GetValueAdvancingAgainstInline);

} // namespace

BENCHMARK(BM_GetValue)->ArgName("type")->Arg(int(KeyType::Step))->Arg(int(KeyType::Linear))
    ->Arg(int(KeyType::Spline))->Arg(-1);

BENCHMARK_MAIN();
