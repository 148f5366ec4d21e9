// Music playback costs: loading a 5-minute MP3 (target: 50 ms at most, so it
// must stream rather than decode up front), one 1024-value spectrum (target:
// 100 us at most) and steady playback (target: 2 % of one core at most).
//
// The 5-minute MP3 is made when the benchmark starts: a synthesised chord
// loop encoded with lame at 128 kbit/s, in a temporary folder.
#include "time/Music.h"

#include <benchmark/benchmark.h>

#include <spawn.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kRate = 44100;
constexpr int kSeconds = 5 * 60;

bool runLame(const std::string& wav, const std::string& mp3)
{
    std::vector<std::string> args = {"lame", "--silent", "-m", "j", "-b", "128", wav, mp3};
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    pid_t pid = 0;
    if (posix_spawnp(&pid, "lame", nullptr, nullptr, argv.data(), environ) != 0)
        return false;
    int status = 0;
    return waitpid(pid, &status, 0) == pid && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

void put32(FILE* out, uint32_t v)
{
    const unsigned char b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
    std::fwrite(b, 1, 4, out);
}

void put16(FILE* out, uint16_t v)
{
    const unsigned char b[2] = {uint8_t(v), uint8_t(v >> 8)};
    std::fwrite(b, 1, 2, out);
}

// 16-bit stereo PCM at kRate.
void writeWavHeader(FILE* out, uint32_t frames)
{
    const uint32_t dataBytes = frames * 4;
    std::fwrite("RIFF", 1, 4, out);
    put32(out, 36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, out);
    put32(out, 16);
    put16(out, 1); // PCM
    put16(out, 2);
    put32(out, kRate);
    put32(out, kRate * 4);
    put16(out, 4);
    put16(out, 16);
    std::fwrite("data", 1, 4, out);
    put32(out, dataBytes);
}

// Path of the 5-minute MP3, made once per run; empty when lame is missing.
const std::string& longMusic()
{
    static const std::string path = [] {
        const fs::path dir = fs::temp_directory_path() / ("tarvonic-bench-music-" + std::to_string(getpid()));
        fs::create_directories(dir);
        const std::string wav = (dir / "long.wav").string();
        const std::string mp3 = (dir / "long.mp3").string();
        FILE* out = std::fopen(wav.c_str(), "wb");
        if (!out)
            return std::string();
        writeWavHeader(out, uint32_t(kSeconds) * kRate);
        // A chord that changes every two seconds over a pulse, so the
        // encoder has real work and the decoder sees a realistic stream.
        const double chords[4][3] = {{220.0, 261.6, 329.6}, {174.6, 220.0, 261.6},
                                     {146.8, 174.6, 220.0}, {164.8, 207.7, 246.9}};
        std::vector<int16_t> block(2 * kRate);
        for (int second = 0; second < kSeconds; ++second) {
            const double* chord = chords[(second / 2) % 4];
            for (int i = 0; i < kRate; ++i) {
                const double t = second + double(i) / kRate;
                const double beat = std::fmod(t, 60.0 / 88.0);
                double s = 0.3 * std::exp(-beat * 12.0) * std::sin(2 * M_PI * 60.0 * beat);
                for (int k = 0; k < 3; ++k)
                    s += 0.15 * std::sin(2 * M_PI * chord[k] * t);
                const double pan = 0.05 * std::sin(2 * M_PI * chord[2] * 1.5 * t);
                block[size_t(2 * i)] = int16_t(std::lround((s + pan) * 32767.0 * 0.8));
                block[size_t(2 * i + 1)] = int16_t(std::lround((s - pan) * 32767.0 * 0.8));
            }
            std::fwrite(block.data(), sizeof(int16_t), block.size(), out);
        }
        std::fclose(out);
        const bool ok = runLame(wav, mp3);
        fs::remove(wav);
        return ok ? mp3 : std::string();
    }();
    return path;
}

void removeLongMusic()
{
    if (!longMusic().empty())
        fs::remove_all(fs::path(longMusic()).parent_path());
}

bool prepare(benchmark::State& state)
{
    if (longMusic().empty()) {
        state.SkipWithError("could not make the 5-minute MP3 (is lame installed?)");
        return false;
    }
    return true;
}

// Load: reading the file, opening the stream (with its frame scan) and
// opening the output. Construction and tear-down are outside the timing.
void BM_LoadFiveMinuteMp3(benchmark::State& state)
{
    if (!prepare(state))
        return;
    for (auto _ : state) {
        Music music;
        const auto start = std::chrono::steady_clock::now();
        const bool ok = music.load(longMusic());
        const auto end = std::chrono::steady_clock::now();
        if (!ok) {
            state.SkipWithError("load failed");
            return;
        }
        state.SetIterationTime(std::chrono::duration<double>(end - start).count());
        state.counters["length_s"] = music.length_ms() / 1000.0;
    }
}
BENCHMARK(BM_LoadFiveMinuteMp3)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

// One spectrum while the music plays, as the spectrum item asks for it
// every frame.
void BM_GetSpectrum(benchmark::State& state)
{
    if (!prepare(state))
        return;
    Music music;
    if (!music.load(longMusic())) {
        state.SkipWithError("load failed");
        return;
    }
    music.set_position(60.0);
    music.set_paused(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::vector<float> bins(1024);
    for (auto _ : state) {
        music.get_spectrum(bins.data(), 1024, 0, 0);
        benchmark::DoNotOptimize(bins.data());
    }
    music.set_paused(true);
}
BENCHMARK(BM_GetSpectrum)->Unit(benchmark::kMicrosecond);

// The output callback's own cost: one 1024-frame buffer (23.2 ms of sound)
// decoded, scaled and recorded. core_percent is its share of one core in
// steady playback.
void BM_PlaybackCallback(benchmark::State& state)
{
    if (!prepare(state))
        return;
    Music music;
    if (!music.load(longMusic())) {
        state.SkipWithError("load failed");
        return;
    }
    music.set_volume(0.8f); // the scaling path too
    constexpr int kFrames = 1024;
    std::vector<float> buffer(2 * kFrames);
    int64_t buffers = 0;
    double busy = 0.0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        music.mix(buffer.data(), kFrames);
        busy += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        benchmark::DoNotOptimize(buffer.data());
        if (++buffers % 12000 == 0) { // about 4.6 minutes: go round again
            state.PauseTiming();
            music.set_position(0.0);
            state.ResumeTiming();
        }
    }
    state.counters["core_percent"] = 100.0 * busy / (double(buffers) * kFrames / kRate);
}
BENCHMARK(BM_PlaybackCallback)->Unit(benchmark::kMicrosecond);

double processCpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return double(ts.tv_sec) + double(ts.tv_nsec) * 1e-9;
}

// Real playback for 3 s on the output: the whole process's CPU time while the
// benchmark thread sleeps, which is the audio thread and the driver.
void BM_SteadyPlayback(benchmark::State& state)
{
    if (!prepare(state))
        return;
    Music music;
    if (!music.load(longMusic())) {
        state.SkipWithError("load failed");
        return;
    }
    music.set_paused(false);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    double cpu = 0.0;
    double wall = 0.0;
    for (auto _ : state) {
        const double cpuStart = processCpuSeconds();
        const auto start = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(3));
        wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        cpu += processCpuSeconds() - cpuStart;
    }
    music.set_paused(true);
    state.counters["core_percent"] = 100.0 * cpu / wall;
}
BENCHMARK(BM_SteadyPlayback)->Unit(benchmark::kMillisecond)->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    // Benchmarks stay silent and comparable: SDL's silent driver consumes the
    // samples in real time like a sound card.
    setenv("SDL_AUDIODRIVER", "dummy", 0);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    removeLongMusic();
    return 0;
}
