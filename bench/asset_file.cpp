// loadAssetFile: a loose shader source, and the last entry of a data pack of
// 300 shader-sized entries, which walks every entry before it.
#include "platform/AssetFile.h"

#include "support/TempDemo.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <string>

namespace {

std::string shaderText(int n)
{
    std::string text = "#version 450\n// shader " + std::to_string(n) + "\n";
    while (text.size() < 6000)
        text += "uniform float g_time;\nvoid main() { gl_FragColor = vec4(sin(g_time)); }\n";
    return text;
}

std::string packOf(int entries)
{
    std::string pack;
    for (int i = 0; i < entries; ++i) {
        const std::string content = shaderText(i);
        pack += "fx/skene" + std::to_string(i / 3) + "/Effect" + std::to_string(i) + ".frag";
        pack.push_back('\0');
        const uint32_t length = uint32_t(content.size());
        for (int b = 0; b < 4; ++b)
            pack.push_back(char((length >> (8 * b)) & 0xff));
        pack += content;
    }
    return pack;
}

void BM_LooseFile(benchmark::State& state)
{
    TempDemo demo;
    demo.write("fx/skene/Effect.frag", shaderText(0));
    demo.enter();
    char* data = nullptr;
    size_t size = 0;
    for (auto _ : state) {
        if (!loadAssetFile("fx/skene/Effect.frag", &data, &size, true))
            state.SkipWithError("not found");
        benchmark::DoNotOptimize(data);
    }
    delete[] data;
}
BENCHMARK(BM_LooseFile)->Unit(benchmark::kMicrosecond);

void BM_LastEntryOfAPack(benchmark::State& state)
{
    TempDemo demo;
    demo.write("datapack.dat", packOf(300));
    demo.enter();
    char* data = nullptr;
    size_t size = 0;
    for (auto _ : state) {
        if (!loadAssetFile("Effect299.frag", &data, &size, true))
            state.SkipWithError("not found");
        benchmark::DoNotOptimize(data);
    }
    delete[] data;
}
BENCHMARK(BM_LastEntryOfAPack)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
