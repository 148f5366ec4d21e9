#include <GL/glew.h>

#include "items/FFTQML.h"

#include "gpu/RenderTarget.h"
#include "gpu/RenderTargetRegistry.h"
#include "sync/Rocket.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/FreshState.h"
#include "support/GlTestContext.h"
#include "support/ProbeEffect.h"
#include "support/QtTestApp.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <QQmlComponent>
#include <QQmlEngine>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

// The music path as the demo has it: an MP3 decoded into the output, whose
// last samples the spectrum is taken from. The output stays paused and the
// test feeds it frames itself, so no wall clock is involved.
struct FFTItem : FreshStateTest {
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        demo.enter();
    }
    void TearDown() override
    {
        resetTimeState();
        unsetenv("SDL_AUDIODRIVER");
    }

    // tests/data/tone_220.mp3 (a 220 Hz sine, amplitude 0.5) as the demo's
    // music.
    Music& loadTone()
    {
        std::ifstream in(std::string(TARVONIC_TEST_DATA) + "/tone_220.mp3", std::ios::binary);
        demo.write("music.mp3", std::string(std::istreambuf_iterator<char>(in), {}));
        timeState().music = std::make_unique<Music>();
        EXPECT_TRUE(timeState().music->load("music.mp3"));
        return *timeState().music;
    }
    // Sends frames of the music through the output.
    static void play(Music& music, int frames)
    {
        std::vector<float> out(size_t(frames) * 2);
        music.mix(out.data(), frames);
    }
    // A demo playing at a steady frame time.
    static void frameTime(float ms)
    {
        Rocket& rocket = Rocket::instance();
        rocket.paused = false;
        for (int i = 0; i < Rocket::kFrameRing; ++i)
            rocket.push_frame_time(ms);
    }
    // Renders the items for frames 60 Hz frames of music.
    static void run(Music& music, std::initializer_list<FFTQML*> items, int frames)
    {
        for (int f = 0; f < frames; ++f) {
            play(music, 735);
            for (FFTQML* item : items)
                item->render(nullptr);
        }
    }

    TempDemo demo;
};

TEST_F(FFTItem, WithoutMusicOnlyTheChildrenRender)
{
    FFTQML fft;
    auto* probe = new ProbeEffect;
    probe->setParentItem(&fft);
    fft.render(nullptr);
    fft.render(nullptr);
    EXPECT_EQ(probe->renders, 2);
    EXPECT_EQ(fft.getSmoothedValue(), 0.0f);
    EXPECT_EQ(fft.history().pos, -1);
}

TEST_F(FFTItem, ATone220HzRaisesTheLowBandAndNotTheHighOne)
{
    Music& music = loadTone();
    frameTime(16.67f);
    FFTQML low, high;
    low.setFreq(0.33f); // around linear bins 8..11 (170..260 Hz)
    low.setAreaWidth(0.04f);
    high.setFreq(0.9f);
    high.setAreaWidth(0.05f);
    auto* probe = new ProbeEffect;
    probe->setParentItem(&low);

    play(music, 4096);
    run(music, {&low, &high}, 1);
    const float first = low.getSmoothedValue();
    run(music, {&low, &high}, 19);
    EXPECT_EQ(probe->renders, 20);
    EXPECT_GT(first, 0.5f);
    EXPECT_GT(low.getSmoothedValue(), 1.5f * first); // the attack closes in over frames
    EXPECT_LT(high.getSmoothedValue(), 0.02f * low.getSmoothedValue());
    EXPECT_EQ(low.history().filled, 20);
    EXPECT_EQ(low.history().values[19], low.getSmoothedValue());

    // Paused, with no editor jump or a jump back, the value holds.
    Rocket& rocket = Rocket::instance();
    rocket.paused = true;
    const float held = low.getSmoothedValue();
    for (double jump : {0.0, -0.2}) {
        rocket.pause_time_step = jump;
        play(music, 4096 * 4); // into silence after the tone's end
        low.render(nullptr);
        EXPECT_EQ(low.getSmoothedValue(), held) << jump;
    }
    // Music gone: the value stays as it was, the children still render.
    timeState().music.reset();
    low.render(nullptr);
    EXPECT_EQ(low.getSmoothedValue(), held);
    EXPECT_EQ(probe->renders, 23);
}

TEST_F(FFTItem, UploadsBothSpectraFourBinsATexel)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.ok());
    const auto makeTarget = [](const char* name, int width) {
        RenderTarget* t = addRenderTarget(name);
        t->create(GL_RGBA32F, width, 1, nullptr, false, 1);
        return t;
    };
    RenderTarget* logTarget = makeTarget("fft.log", 256);
    RenderTarget* smoothTarget = makeTarget("fft.smooth", 1024);
    RenderTarget* tooLarge = makeTarget("fft.large", 8192);
    const auto texels = [](RenderTarget* t) {
        std::vector<float> data(size_t(t->width()) * 4, -1.0f);
        glBindTexture(GL_TEXTURE_2D, t->colorTexture());
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, data.data());
        return data;
    };
    const std::vector<float> largeBefore = texels(tooLarge);

    Music& music = loadTone();
    frameTime(16.67f);
    FFTQML fft, band, large;
    fft.setTargetTexRT("fft.log");
    fft.setTargetSmoothTexRT("fft.smooth");
    large.setTargetTexRT("fft.large");
    // The band of one item is the smoothed spectrum's bin at its centre.
    band.setFreq(340.0f / 1024.0f);
    band.setAreaWidth(fft.areaWidth());
    play(music, 4096);
    run(music, {&fft, &band, &large}, 3);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    const std::vector<float> logTexels = texels(logTarget);
    for (int j = 0; j < kSpectrumBins; ++j)
        ASSERT_FLOAT_EQ(logTexels[size_t(j)], fft.logSpectrum()[j] * 4080.0f) << j;
    const std::vector<float> smoothTexels = texels(smoothTarget);
    for (int j = 0; j < kSpectrumBins; ++j)
        ASSERT_FLOAT_EQ(smoothTexels[size_t(j)], fft.smoothSpectrum()[j] * 4.0800004f) << j;
    for (size_t j = kSpectrumBins; j < smoothTexels.size(); ++j)
        ASSERT_EQ(smoothTexels[j], 0.0f) << j;
    EXPECT_GT(logTexels[340], 1.0f);
    EXPECT_FLOAT_EQ(fft.smoothSpectrum()[340], band.getSmoothedValue());

    // More texels than the item has values for: refused, nothing read past
    // its buffer, the texture as it was.
    EXPECT_EQ(texels(tooLarge), largeBefore);
}

TEST_F(FFTItem, SkeneFilesSetAndBindItsOwnProperties)
{
    ensureQtApp();
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQuick 2.15\nimport QuellinDemoSystem 1.0\n"
                      "Item { property real s: fft.smooth; property real w: fft.areaWidth;\n"
                      "  property real a: fft.smoothAttack\n"
                      "  FFT { id: fft; objectName: \"fft\"; smooth: 0.3; areaWidth: 0.05 } }\n",
                      QUrl());
    std::unique_ptr<QObject> root(component.create());
    ASSERT_TRUE(root) << component.errorString().toStdString();
    auto* fft = root->findChild<FFTQML*>("fft");
    ASSERT_TRUE(fft);
    EXPECT_FLOAT_EQ(fft->smoothFactor(), 0.3f);
    EXPECT_FLOAT_EQ(fft->areaWidth(), 0.05f);

    fft->setSmoothFactor(0.7f);
    fft->setAreaWidth(0.2f);
    fft->setSmoothAttack(0.1f);
    EXPECT_FLOAT_EQ(root->property("s").toFloat(), 0.7f);
    EXPECT_FLOAT_EQ(root->property("w").toFloat(), 0.2f);
    EXPECT_FLOAT_EQ(root->property("a").toFloat(), 0.1f);
}

} // namespace
