// The anti-aliasing item's three passes over a 1280 x 720 image (a white
// triangle on blue, so one long diagonal and two straight edges) with the
// example demo's stand-in header and tables, waited for with glFinish; and
// the preprocessing of one pass source. Run under an X server (xvfb-run);
// with Mesa's llvmpipe the passes run on the CPU.
#include <GL/glew.h>

#include "BenchState.h"
#include "gpu/ShaderPreprocess.h"
#include "gpu/Smaa.h"
#include "items/SMAAQML.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"

#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/TempDemo.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <iterator>

namespace {

std::string exampleFile(const std::string& relative)
{
    std::ifstream in(std::string(TARVONIC_SOURCE_DIR) + "/examples/lumenfall/" + relative, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

struct StandIn {
    StandIn()
    {
        for (const char* file : {"fx/SMAA.h", "images/smaa_area.raw", "images/smaa_search.raw"})
            demo.write(file, exampleFile(file));
        demo.enter();
    }
    TempDemo demo;
};

void BM_SmaaPasses1280x720(benchmark::State& state)
{
    GlTestContext gl;
    StandIn standIn;
    demoDisplay().width = 1280;
    demoDisplay().height = 720;
    GlFramebuffer window(1280, 720);
    window.bindCleared(0.2f, 0.3f, 0.4f, 1.0f);
    glMatrixMode(GL_PROJECTION);
    glLoadIdentity();
    glMatrixMode(GL_MODELVIEW);
    glLoadIdentity();
    glBegin(GL_TRIANGLES);
    glVertex2f(-0.8f, -0.8f);
    glVertex2f(0.8f, -0.8f);
    glVertex2f(0.8f, 0.8f);
    glEnd();
    frameState().windowFramebuffer = window.name();
    SMAAQML smaa;
    smaa.render(nullptr); // builds the targets and programs
    if (!smaa.passes().programsLinked())
        state.SkipWithError("programs did not link");
    glFinish();
    for (auto _ : state) {
        smaa.render(nullptr);
        glFinish();
    }
}
BENCHMARK(BM_SmaaPasses1280x720)->Unit(benchmark::kMillisecond);

void BM_PreprocessPassSource(benchmark::State& state)
{
    StandIn standIn;
    const std::string source = smaaShaderSource(SmaaPass::BlendingWeights, GL_FRAGMENT_SHADER, 1280, 720);
    for (auto _ : state) {
        std::string text = source;
        preprocessShaderSource(text);
        benchmark::DoNotOptimize(text.data());
    }
}
BENCHMARK(BM_PreprocessPassSource)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
