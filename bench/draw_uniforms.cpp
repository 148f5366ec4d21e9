// Per-draw CPU cost of what a shader item and a draw item hand the program
// every frame: the nine standard uniforms of the shader item and the seven
// matrices of a draw item, set by name, and the draw buffer selection that
// follows them. Run under an X server (xvfb-run).
#include <GL/glew.h>

#include "BenchState.h"
#include "gpu/Shader.h"
#include "items/IDrawEffect.h"

#include "support/GlFramebuffer.h"
#include "support/GlTestContext.h"
#include "support/TempDemo.h"

#include <benchmark/benchmark.h>

#include <memory>

namespace {

const char* const kVert =
    "#version 430 compatibility\nuniform mat4 projectionMatrix; uniform mat4 projectionInvMatrix;\n"
    "uniform mat4 modelMatrix; uniform mat4 modelViewMatrix; uniform mat4 prevModelMatrix;\n"
    "uniform mat4 viewMatrix; uniform mat4 viewInvMatrix; uniform mat4 modelViewInvMatrix;\n"
    "void main() { gl_Position = projectionMatrix * projectionInvMatrix * modelMatrix * modelViewMatrix *\n"
    "  prevModelMatrix * viewMatrix * viewInvMatrix * modelViewInvMatrix * gl_Vertex; }\n";
const char* const kFrag =
    "#version 430 compatibility\nuniform sampler2D tex; uniform float g_time; uniform float g_timeStep;\n"
    "uniform float windowWidth; uniform float windowHeight; uniform float g_windowWidth;\n"
    "uniform float g_windowHeight;\nout vec4 c;\n"
    "void main() { c = texture(tex, vec2(0.5)) + vec4(g_time, g_timeStep, windowWidth + g_windowWidth,\n"
    "  windowHeight + g_windowHeight); }\n";

struct Program {
    Program()
    {
        demo.write("bench.vert", kVert);
        demo.write("bench.frag", kFrag);
        demo.enter();
        shader.load("bench", "");
        shader.use();
        target.bind();
    }
    GlTestContext gl;
    TempDemo demo;
    Shader shader;
    GlFramebuffer target{16, 16};
};

Program& program()
{
    static Program p;
    return p;
}

void BM_UniformsOfOneDraw(benchmark::State& state)
{
    Program& p = program();
    Shader& s = p.shader;
    float m[16] = {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1};
    for (auto _ : state) {
        // The shader item's standard uniforms ...
        s.setUniformInt("tex", 0);
        s.setUniformFloat("g_time", 1.0f);
        s.setUniformFloat("g_timeStep", 0.016f);
        s.setUniformMat4("projectionMatrix", m);
        s.setUniformMat4("projectionInvMatrix", m);
        s.setUniformFloat("windowWidth", 1280.0f);
        s.setUniformFloat("windowHeight", 720.0f);
        s.setUniformFloat("g_windowWidth", 1280.0f);
        s.setUniformFloat("g_windowHeight", 720.0f);
        // ... and a mesh item's matrices, then its draw buffers.
        s.setUniformMat4("modelMatrix", m);
        s.setUniformMat4("modelViewMatrix", m);
        s.setUniformMat4("prevModelMatrix", m);
        s.setUniformMat4("viewMatrix", m);
        s.setUniformMat4("viewInvMatrix", m);
        s.setUniformMat4("modelViewInvMatrix", m);
        IDrawEffect::selectDrawBuffers(3);
    }
    state.counters["uniforms"] = 15;
}
BENCHMARK(BM_UniformsOfOneDraw)->Unit(benchmark::kMicrosecond);

// A name the program does not use: looked up and skipped.
void BM_UnusedUniform(benchmark::State& state)
{
    Shader& s = program().shader;
    for (auto _ : state)
        benchmark::DoNotOptimize(s.setUniformFloat("notInTheProgram", 1.0f));
}
BENCHMARK(BM_UnusedUniform)->Unit(benchmark::kNanosecond);

} // namespace

BENCHMARK_MAIN();
