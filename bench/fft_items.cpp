// Cost of one spectrum item's render step, which runs every frame: the
// music's spectrum (a 2048-sample FFT), the log remap, the band value and
// the history. Target: 50 us at most without the GL uploads. With both
// uploads (the log spectrum into a 256 x 1 float target, the smoothed
// spectrum, a band around each of its 1024 bins, into another) it is
// reported. The music is our 6-second test track, fed through the output
// once before timing; a noise item's step is measured beside it. The GL
// case needs an X server (xvfb-run).
#include <GL/glew.h>

#include "BenchState.h"
#include "gpu/GpuResources.h"
#include "gpu/RenderTarget.h"
#include "gpu/RenderTargetRegistry.h"
#include "items/FFTQML.h"
#include "items/NoiseQML.h"
#include "state/FrameState.h"
#include "sync/Rocket.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/GlTestContext.h"
#include "support/TempDemo.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

// The demo's music, paused, with a second of it sent through the output so
// that the spectrum has signal to work on.
bool loadMusic(TempDemo& demo)
{
    if (timeState().music)
        return timeState().music->is_loaded();
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    demo.enter();
    std::ifstream in(std::string(TARVONIC_TEST_DATA) + "/test_music.mp3", std::ios::binary);
    demo.write("music.mp3", std::string(std::istreambuf_iterator<char>(in), {}));
    timeState().music = std::make_unique<Music>();
    if (!timeState().music->load("music.mp3"))
        return false;
    std::vector<float> out(44100 * 2);
    timeState().music->mix(out.data(), 44100);
    Rocket& rocket = Rocket::instance();
    rocket.on_pause(false);
    timeState().music->set_paused(true); // the benchmark feeds the output itself
    for (int i = 0; i < Rocket::kFrameRing; ++i)
        rocket.push_frame_time(16.67f);
    rocket.publish_time(frameState().time); // as the frame does
    return true;
}

TempDemo& benchDemo()
{
    static TempDemo demo;
    return demo;
}

void BM_FFTStepWithoutUpload(benchmark::State& state)
{
    if (!loadMusic(benchDemo())) {
        state.SkipWithError("the test music did not load");
        return;
    }
    FFTQML fft;
    fft.setFreq(0.3f);
    for (auto _ : state) {
        fft.render(nullptr);
        benchmark::DoNotOptimize(fft.getSmoothedValue());
    }
}
BENCHMARK(BM_FFTStepWithoutUpload)->Unit(benchmark::kMicrosecond);

void BM_FFTStepWithBothUploads(benchmark::State& state)
{
    static GlTestContext gl;
    if (!gl.ok()) {
        state.SkipWithError("no GL context (run under xvfb-run)");
        return;
    }
    if (!loadMusic(benchDemo())) {
        state.SkipWithError("the test music did not load");
        return;
    }
    for (const char* name : {"bench.log", "bench.smooth"}) {
        RenderTarget* t = gpu().targets.add(name);
        if (!t->colorTexture())
            t->create(GL_RGBA32F, 256, 1, nullptr, false, 1);
    }
    FFTQML fft;
    fft.setFreq(0.3f);
    fft.setTargetTexRT("bench.log");
    fft.setTargetSmoothTexRT("bench.smooth");
    for (auto _ : state) {
        fft.render(nullptr);
        benchmark::DoNotOptimize(fft.getSmoothedValue());
    }
    glFinish();
}
BENCHMARK(BM_FFTStepWithBothUploads)->Unit(benchmark::kMicrosecond);

void BM_NoiseStep(benchmark::State& state)
{
    if (!loadMusic(benchDemo())) {
        state.SkipWithError("the test music did not load");
        return;
    }
    NoiseQML noise;
    noise.setSeed(1);
    noise.setFreq(30.0f);
    noise.setInterpolation(NoiseSignal::Cubic);
    for (auto _ : state) {
        noise.render(nullptr);
        benchmark::DoNotOptimize(noise.value());
    }
}
BENCHMARK(BM_NoiseStep)->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
