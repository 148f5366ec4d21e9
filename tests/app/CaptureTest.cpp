// Capture mode as a demo author uses it: the program renders a tiny demo
// with the fixed-step clock and writes its frames, its music and its video.
#include "app/AppState.h"
#include "app/Startup.h"
#include "sync/Rocket.h"
#include "time/MagnitudeSpectrum.h"
#include "time/Mp3Stream.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const int kFps = 10;

// One skene: a quad whose red is the demo time and whose blue is the time
// step, so each frame shows when it was drawn.
void writeClockDemo(TempDemo& demo)
{
    demo.write("fx/main.qml", R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Demo {
    id: demo
    width: demo.windowWidth
    height: demo.windowHeight
    Rocket { id: rocket }
    Component.onCompleted: demo.reloadDemo()
    onFirstDemoRender: { demo.ackFirstDemoRender(); rocket.markDemoLoaded() }
}
)");
    const char setup[] = "skene:clock\0port:1\0\n";
    demo.write("fx/_ActiveSkeneSetups/lumenfall.as", std::string(setup, sizeof setup - 1));
    demo.write("fx/clock/Skene.qml", R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Scene {
    sceneEnabled: true
    property string sceneDir: "fx/clock/"
    Shader {
        file: "clock"
        DrawVB { type: "quad"; blendMode: "off"; depthTest: false; depthWrite: false; drawBuffers: 1 }
    }
}
)");
    demo.write("fx/clock/clock.vert", R"(#version 430 compatibility
layout(location = 0) in vec3 position;
void main() { gl_Position = vec4(position.xy * 2.0 - 1.0, 0.5, 1.0); }
)");
    demo.write("fx/clock/clock.frag", R"(#version 430 compatibility
uniform float g_time;
uniform float g_timeStep;
layout(location = 0) out vec4 colour;
void main() { colour = vec4(g_time, 0.0, g_timeStep * 5.0, 1.0); }
)");
    fs::copy_file(std::string(TARVONIC_TEST_DATA) + "/tone220_48k.mp3", demo.path("music.mp3"));
}

std::string readFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

struct Outcome {
    int code = -1;
    std::string err;
};

// Runs a capture of demo into folder with PATH as given: without the
// stand-in's folder on it, no ffmpeg is found, whatever the machine has.
Outcome capture(const TempDemo& demo, const std::string& folder, const QStringList& extra,
                const QString& path = "/nonexistent", const std::string& cacheHome = std::string())
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("PATH", path);
    if (!cacheHome.empty())
        env.insert("XDG_CACHE_HOME", QString::fromStdString(cacheHome));
    program.setProcessEnvironment(env);
    QStringList args = {QString::fromStdString(demo.root()), QString::fromStdString("-capture:" + folder),
                        "-captureFps:10", "-captureSize:64x36"};
    program.start(QStringLiteral(TARVONIC_PROGRAM), args + extra);
    Outcome run;
    if (!program.waitForFinished(120000))
        return run;
    run.code = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    run.err = program.readAllStandardError().toStdString();
    return run;
}

// A skene with a sphere of a few thousand triangles, coloured by its
// normals and turned by the demo time.
void writeMeshDemo(TempDemo& demo)
{
    writeClockDemo(demo);
    const char setup[] = "skene:shape\0port:1\0\n";
    demo.write("fx/_ActiveSkeneSetups/lumenfall.as", std::string(setup, sizeof setup - 1));
    demo.write("fx/shape/Skene.qml", R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Scene {
    sceneEnabled: true
    property string sceneDir: "fx/shape/"
    Shader {
        file: "shape"
        DrawMesh { file: "fx/shape/sphere.obj"; blendMode: "off"; drawBuffers: 1; smoothNormals: true }
    }
}
)");
    demo.write("fx/shape/shape.vert", R"(#version 430 compatibility
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
uniform float g_time;
out vec3 n;
void main() {
    float a = g_time * 3.0;
    vec3 p = vec3(cos(a) * position.x + sin(a) * position.z, position.y, -sin(a) * position.x + cos(a) * position.z);
    n = normal;
    gl_Position = vec4(p.xy * 0.9, p.z * 0.4 + 0.5, 1.0);
}
)");
    demo.write("fx/shape/shape.frag", R"(#version 430 compatibility
in vec3 n;
layout(location = 0) out vec4 colour;
void main() { colour = vec4(normalize(n) * 0.5 + 0.5, 1.0); }
)");
    std::string obj;
    const int rings = 40, sides = 60;
    char line[96];
    for (int i = 0; i <= rings; ++i) {
        for (int j = 0; j < sides; ++j) {
            const double t = 3.14159265358979 * i / rings, p = 2.0 * 3.14159265358979 * j / sides;
            std::snprintf(line, sizeof line, "v %.6f %.6f %.6f\n", std::sin(t) * std::cos(p), std::cos(t),
                          std::sin(t) * std::sin(p));
            obj += line;
        }
    }
    for (int i = 0; i < rings; ++i) {
        for (int j = 0; j < sides; ++j) {
            const int a = i * sides + j + 1, b = i * sides + (j + 1) % sides + 1;
            std::snprintf(line, sizeof line, "f %d %d %d %d\n", a, b, b + sides, a + sides);
            obj += line;
        }
    }
    demo.write("fx/shape/sphere.obj", obj);
}

std::vector<std::string> framesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind("frame_", 0) == 0)
            names.push_back(name);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The whole music as the program decodes it: float stereo at 48 kHz.
std::vector<float> decodedMusic(const std::string& file)
{
    const std::string mp3 = readFile(file);
    Mp3Stream stream;
    EXPECT_TRUE(stream.open(reinterpret_cast<const unsigned char*>(mp3.data()), mp3.size(), Music::kOutputRate));
    std::vector<float> samples(size_t(stream.length()) * 2);
    EXPECT_EQ(stream.read(samples.data(), int(stream.length())), int(stream.length()));
    return samples;
}

} // namespace

TEST(Capture, TwoRunsWriteTheSameFramesEachAtItsTimeAndTheMusicOfTheirSpan)
{
    TempDemo demo;
    writeClockDemo(demo);
    TempDemo out;
    // 0.45 s at 10 fps: the frames at 0.0 ... 0.4 s lie within it.
    const Outcome first = capture(demo, out.path("a"), {"-captureSeconds:0.45"});
    ASSERT_EQ(first.code, 0) << first.err;
    // Without -captureSeconds the music's length decides.
    const Outcome second = capture(demo, out.path("b"), {});
    ASSERT_EQ(second.code, 0) << second.err;
    EXPECT_NE(first.err.find("capture: frame 5 of 5"), std::string::npos) << first.err;

    const std::vector<std::string> frames = framesIn(out.path("a"));
    ASSERT_EQ(frames.size(), 5u);
    EXPECT_EQ(frames.back(), "frame_000004.png");
    const std::vector<float> music = decodedMusic(demo.path("music.mp3"));
    const int64_t musicFrames = int64_t(music.size() / 2);
    const int64_t lengthMs = musicFrames * 1000 / Music::kOutputRate;
    const size_t longRun = size_t((lengthMs * kFps + 999) / 1000);
    EXPECT_EQ(framesIn(out.path("b")).size(), longRun);

    for (int n = 0; n < 5; ++n) {
        const std::string name = frames[size_t(n)];
        EXPECT_EQ(readFile(out.path("a/" + name)), readFile(out.path("b/" + name))) << name;
        const QImage image(QString::fromStdString(out.path("a/" + name)));
        ASSERT_EQ(image.size(), QSize(64, 36)) << name;
        const QRgb pixel = image.pixel(32, 18);
        EXPECT_NEAR(qRed(pixel), 255.0 * n / kFps, 1.0) << name;
        // The time step of every frame is 1 / fps.
        EXPECT_NEAR(qBlue(pixel), 255.0 * 0.5, 1.0) << name;
    }

    // audio.wav: the music decoded for exactly the frames' span, 16-bit.
    for (const auto& [folder, count] : {std::pair<std::string, size_t>{"a", 5}, {"b", longRun}}) {
        const std::string wav = readFile(out.path(folder + "/audio.wav"));
        const int64_t samples = int64_t(count) * Music::kOutputRate / kFps;
        ASSERT_EQ(wav.size(), size_t(44 + samples * 4)) << folder;
        uint32_t dataBytes = 0;
        std::memcpy(&dataBytes, wav.data() + 40, 4);
        EXPECT_EQ(dataBytes, uint32_t(samples * 4));
        for (int64_t i = 0; i < samples * 2; i += 997) {
            int16_t pcm = 0;
            std::memcpy(&pcm, wav.data() + 44 + i * 2, 2);
            const float expected = i < int64_t(music.size()) ? music[size_t(i)] : 0.0f;
            EXPECT_NEAR(pcm, expected * 32767.0f, 1.0f) << folder << " sample " << i;
        }
    }
}

TEST(Capture, ColdAndWarmMeshCachesWriteTheSameFramesWithTheMeshInTheFirst)
{
    TempDemo demo;
    writeMeshDemo(demo);
    TempDemo out;
    const std::string cache = out.path("cache");
    const std::string entries = cache + "/Quellin/QuellinDemoSystem/meshes";
    const Outcome cold = capture(demo, out.path("cold"), {"-captureSeconds:0.3"}, "/nonexistent", cache);
    ASSERT_EQ(cold.code, 0) << cold.err;
    ASSERT_TRUE(fs::is_directory(entries)) << cold.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(entries), fs::directory_iterator()), 1);
    const Outcome warm = capture(demo, out.path("warm"), {"-captureSeconds:0.3"}, "/nonexistent", cache);
    ASSERT_EQ(warm.code, 0) << warm.err;

    const std::vector<std::string> frames = framesIn(out.path("cold"));
    ASSERT_EQ(frames.size(), 3u);
    EXPECT_EQ(framesIn(out.path("warm")), frames);
    for (const std::string& name : frames)
        EXPECT_EQ(readFile(out.path("cold/" + name)), readFile(out.path("warm/" + name))) << name;
    // The frame at time 0 waited for the import: the sphere is there.
    const QImage first(QString::fromStdString(out.path("cold/frame_000000.png")));
    ASSERT_EQ(first.size(), QSize(64, 36));
    EXPECT_GT(qGreen(first.pixel(32, 18)), 100);
    EXPECT_EQ(qGreen(first.pixel(1, 1)), 0);
}

TEST(Capture, Mp4PipesTheSameFramesToFfmpegAndPngFramesAreMuxed)
{
    TempDemo demo;
    writeClockDemo(demo);
    TempDemo out;
    // A stand-in ffmpeg first on PATH: it records its arguments, keeps what
    // it is sent and writes the video file it is asked for.
    out.write("bin/ffmpeg", "#!/bin/sh\n"
                            "printf '%s\\n' \"$@\" >> \"" + out.path("args") + "\"\n"
                            "cat > \"" + out.path("stdin.raw") + "\"\n"
                            "for last; do :; done\n"
                            ": > \"$last\"\n");
    // One that ends without reading: a frame larger than the pipe holds
    // meets a closed pipe, which must fail the capture, not end the program.
    out.write("broken/ffmpeg", "#!/bin/sh\nexit 1\n");
    for (const char* script : {"bin/ffmpeg", "broken/ffmpeg"})
        fs::permissions(out.path(script), fs::perms::owner_all);
    const QString bin = QString::fromStdString(out.path("bin")) + ":/usr/bin:/bin";

    // mp4 needs ffmpeg, and an ffmpeg that fails fails the capture.
    const Outcome without = capture(demo, out.path("none"), {"-captureFormat:mp4"});
    EXPECT_EQ(without.code, 2);
    EXPECT_NE(without.err.find("-captureFormat:mp4 pipes the frames to ffmpeg, which is not on PATH"),
              std::string::npos)
        << without.err;
    const Outcome broken =
        capture(demo, out.path("broken-run"), {"-captureSeconds:0.2", "-captureFormat:mp4", "-captureSize:640x360"},
                QString::fromStdString(out.path("broken")) + ":/usr/bin:/bin");
    EXPECT_EQ(broken.code, 4) << broken.err;
    EXPECT_NE(broken.err.find("capture: ffmpeg "), std::string::npos) << broken.err;

    const Outcome piped = capture(demo, out.path("mp4"), {"-captureSeconds:0.3", "-captureFormat:mp4"}, bin);
    ASSERT_EQ(piped.code, 0) << piped.err;
    EXPECT_TRUE(framesIn(out.path("mp4")).empty());
    EXPECT_TRUE(fs::exists(out.path("mp4/audio.wav")));
    EXPECT_TRUE(fs::exists(out.path("mp4/capture.mp4")));
    const std::string raw = readFile(out.path("stdin.raw"));
    ASSERT_EQ(raw.size(), 3u * 64 * 36 * 3);
    const std::string pipedArgs = readFile(out.path("args"));
    for (const std::string& expected :
         {"-f\nrawvideo\n-pix_fmt\nrgb24\n-video_size\n64x36\n-framerate\n10\n-i\n-\n-i\n" + out.path("mp4/audio.wav"),
          "\n" + out.path("mp4/capture.mp4") + "\n"})
        EXPECT_NE(pipedArgs.find(expected), std::string::npos) << pipedArgs;

    fs::remove(out.path("args"));
    const Outcome muxed = capture(demo, out.path("png"), {"-captureSeconds:0.3"}, bin);
    ASSERT_EQ(muxed.code, 0) << muxed.err;
    ASSERT_EQ(framesIn(out.path("png")).size(), 3u);
    EXPECT_TRUE(fs::exists(out.path("png/capture.mp4")));
    const std::string muxArgs = readFile(out.path("args"));
    for (const std::string& expected :
         {"-framerate\n10\n-start_number\n0\n-i\n" + out.path("png/frame_%06d.png") + "\n-i\n" +
              out.path("png/audio.wav"),
          std::string("-frames:v\n3\n")})
        EXPECT_NE(muxArgs.find(expected), std::string::npos) << muxArgs;

    // The pipe carried the frames the files hold, top row first.
    for (int n = 0; n < 3; ++n) {
        QImage image(QString::fromStdString(out.path("png/frame_00000" + std::to_string(n) + ".png")));
        image = image.convertToFormat(QImage::Format_RGB888);
        for (int y = 0; y < 36; ++y)
            ASSERT_EQ(std::memcmp(image.constScanLine(y), raw.data() + (n * 36 + y) * 64 * 3, 64 * 3), 0)
                << "frame " << n << " row " << y;
    }
}

struct CaptureInProcess : FreshStateTest {
    CaptureInProcess() { ensureQtApp(); }
};

TEST_F(CaptureInProcess, EachFrameSeesTheSpectrumOfTheMusicDecodedUpToItsTime)
{
    TempDemo demo;
    writeClockDemo(demo);
    demo.enter();
    TempDemo out;
    app::CaptureOptions& options = appState().capture;
    options.folder = out.root();
    options.fps = kFps;
    options.width = 64;
    options.height = 36;
    options.seconds = 0.5;

    const std::vector<float> music = decodedMusic("music.mp3");
    MagnitudeSpectrum reference;
    int seen = 0;
    appState().afterCapturedFrame = [&](int n) {
        const Rocket& rocket = Rocket::instance();
        EXPECT_NEAR(rocket.demo_seconds(), double(n) / kFps, 1e-9);
        EXPECT_FLOAT_EQ(rocket.time_step(), 1000.0f / kFps);
        // The output has taken the samples up to the frame's time: the last
        // 2048 of channel 0 before it (silence before the start).
        const int64_t end = int64_t(n) * Music::kOutputRate / kFps;
        std::vector<float> window(2048, 0.0f);
        for (int64_t i = std::max<int64_t>(0, end - 2048); i < end; ++i)
            window[size_t(i - (end - 2048))] = music[size_t(i) * 2];
        float expected[1024];
        reference.compute(window.data(), 1024, expected);
        float actual[1024];
        timeState().music->get_spectrum(actual, 1024, 0, 0);
        for (int k = 0; k < 1024; ++k)
            ASSERT_EQ(actual[k], expected[k]) << "frame " << n << " bin " << k;
        ++seen;
    };
    static char name[] = "tarvonic";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(app::runStartup(1, argv), 0);
    EXPECT_EQ(seen, 5);

    // The time to the first frame, split into parts that add up to it; the
    // demo's one shader was built within it.
    const app::CaptureReport::StartupSplit& split = appState().captureReport.startup;
    EXPECT_GT(split.totalMs, 0.0);
    EXPECT_GT(split.shaderMs, 0.0);
    EXPECT_GT(split.skeneQmlMs, 0.0);
    EXPECT_NEAR(split.qtAndViewsMs + split.skeneQmlMs + split.shaderMs + split.meshMs + split.firstFrameMs,
                split.totalMs, 0.01);
}
