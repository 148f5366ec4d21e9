// Capture throughput: the example demo captured at 1280 x 720 and 60 fps,
// half a second of it, as the program does it (fixed-step clock, read-back,
// PNG files written by worker threads, audio.wav); with counters for the
// frames a second and the render thread's share outside GL (starting and
// taking the copies, waiting for the writers). Beside it, its two costs on
// their own: the read-back of one 1280 x 720 frame and the PNG encoding of
// one. Run under an X server (xvfb-run) with Mesa's llvmpipe.
#include <GL/glew.h>

#include "app/AppState.h"
#include "app/Startup.h"
#include "gpu/FrameReadback.h"
#include "platform/PngFile.h"

#include "support/FreshState.h"
#include "support/GlTestContext.h"
#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <filesystem>
#include <vector>

namespace {

const int kWidth = 1280;
const int kHeight = 720;

void BM_CaptureExample(benchmark::State& state)
{
    ensureQtApp();
    const std::filesystem::path start = std::filesystem::current_path();
    for (auto _ : state) {
        resetProcessState();
        TempDemo out;
        std::filesystem::current_path(std::string(TARVONIC_SOURCE_DIR) + "/examples/lumenfall");
        app::CaptureOptions& options = appState().capture;
        options.folder = out.root();
        options.seconds = 0.5;
        static char name[] = "tarvonic";
        char* argv[] = {name, nullptr};
        const int code = app::runStartup(1, argv);
        std::filesystem::current_path(start);
        if (code != 0) {
            state.SkipWithError("the capture failed");
            return;
        }
        const app::CaptureReport& r = appState().captureReport;
        state.SetIterationTime(r.wallMs / 1000.0);
        state.counters["frames"] = r.frames;
        state.counters["fps"] = r.frames * 1000.0 / r.wallMs;
        state.counters["frame_ms"] = r.wallMs / r.frames;
        state.counters["readback_ms"] = r.ourMs / r.frames;
        state.counters["waited_ms"] = r.waitedMs / r.frames;
        state.counters["our_share_%"] = 100.0 * (r.ourMs + r.waitedMs) / r.wallMs;
        state.counters["writer_ms"] = r.writerMs / r.frames;
        state.counters["startup_ms"] = r.startup.totalMs;
        state.counters["startup_qt_views_ms"] = r.startup.qtAndViewsMs;
        state.counters["startup_skene_qml_ms"] = r.startup.skeneQmlMs;
        state.counters["startup_shaders_ms"] = r.startup.shaderMs;
        state.counters["startup_meshes_ms"] = r.startup.meshMs;
        state.counters["startup_first_frame_ms"] = r.startup.firstFrameMs;
    }
}
BENCHMARK(BM_CaptureExample)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// A frame the demo might render: smooth gradients with fine detail.
std::vector<uint8_t> testImage()
{
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &rgb[(size_t(y) * kWidth + size_t(x)) * 3];
            const float fx = float(x) / kWidth, fy = float(y) / kHeight;
            const float v = 0.5f + 0.5f * std::sin(fx * 20 + fy * 7) * std::cos(fy * 13);
            p[0] = uint8_t(255 * fx * v);
            p[1] = uint8_t(255 * fy);
            p[2] = uint8_t(uint8_t(255 * v) ^ ((x * y) & 3));
        }
    }
    return rgb;
}

void BM_PngEncode1280x720(benchmark::State& state)
{
    const std::vector<uint8_t> rgb = testImage();
    std::vector<uint8_t> png;
    for (auto _ : state)
        platform::encodePng(rgb.data(), kWidth, kHeight, png);
    state.counters["bytes"] = double(png.size());
}
BENCHMARK(BM_PngEncode1280x720)->Unit(benchmark::kMillisecond);

// Steady state: each frame starts a copy and takes the one before it, as
// the capture does. The source is a half-float texture like the demo's.
void BM_Readback1280x720(benchmark::State& state)
{
    GlTestContext gl;
    if (!gl.ok()) {
        state.SkipWithError("no GL context");
        return;
    }
    GLuint texture = 0, framebuffer = 0;
    glGenTextures(1, &texture);
    glBindTexture(GL_TEXTURE_2D, texture);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA16F, kWidth, kHeight, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenFramebuffers(1, &framebuffer);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, texture, 0);
    glClearColor(0.2f, 0.4f, 0.6f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    glFinish();

    std::vector<uint8_t> pixels(size_t(kWidth) * kHeight * 3);
    {
        FrameReadback readback(kWidth, kHeight, 2);
        for (auto _ : state) {
            readback.queue(framebuffer);
            if (readback.full())
                readback.takeOldest(pixels.data());
        }
        while (readback.takeOldest(pixels.data())) {
        }
    }
    glDeleteFramebuffers(1, &framebuffer);
    glDeleteTextures(1, &texture);
}
BENCHMARK(BM_Readback1280x720)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
