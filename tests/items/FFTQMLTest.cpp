#include <GL/glew.h>

#include "gpu/GpuResources.h"
#include "items/FFTQML.h"

#include "gpu/RenderTarget.h"
#include "gpu/RenderTargetRegistry.h"
#include "state/FrameState.h"
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
#include <vector>

namespace {

// The real music path: tests/data/tone220_48k.mp3 (a 220 Hz sine) decoded into
// the output, whose last samples the spectrum is taken from. The output
// stays paused and the test feeds it, so no wall clock is involved.
struct FFTItem : FreshStateTest {
    void SetUp() override
    {
        setenv("SDL_AUDIODRIVER", "dummy", 1);
        demo.enter();
    }
    void TearDown() override
    {
        timeState().music.reset();
        unsetenv("SDL_AUDIODRIVER");
    }
    // The tone as the demo's music, with the demo playing at 60 Hz.
    void loadTone()
    {
        std::ifstream in(std::string(TARVONIC_TEST_DATA) + "/tone220_48k.mp3", std::ios::binary);
        demo.write("music.mp3", std::string(std::istreambuf_iterator<char>(in), {}));
        timeState().music = std::make_unique<Music>();
        ASSERT_TRUE(timeState().music->load("music.mp3"));
        play(4096);
        Rocket::instance().on_pause(false);
        timeState().music->set_paused(true); // the test feeds the output itself
        for (int i = 0; i < Rocket::kFrameRing; ++i)
            Rocket::instance().push_frame_time(16.67f);
        Rocket::instance().publish_time(frameState().time); // as the frame does
    }
    static void play(int frames)
    {
        std::vector<float> out(size_t(frames) * 2);
        timeState().music->mix(out.data(), frames);
    }
    static void run(std::initializer_list<FFTQML*> items, int frames)
    {
        for (int f = 0; f < frames; ++f) {
            play(735);
            for (FFTQML* item : items)
                item->render(nullptr);
        }
    }

    TempDemo demo;
};

TEST_F(FFTItem, ATone220HzRaisesTheLowBandAndNotTheHighOne)
{
    FFTQML low, high;
    auto* probe = new ProbeEffect;
    probe->setParentItem(&low);
    low.render(nullptr); // no music: the children only
    EXPECT_EQ(probe->renders, 1);
    EXPECT_EQ(low.history().filled, 0);

    loadTone();
    low.setFreq(0.33f); // around linear bins 8..11 (170..260 Hz)
    low.setAreaWidth(0.04f);
    high.setFreq(0.9f);
    run({&low, &high}, 1);
    const float first = low.getSmoothedValue();
    run({&low, &high}, 19);
    EXPECT_GT(first, 0.5f);
    EXPECT_GT(low.getSmoothedValue(), 1.5f * first); // the attack closes in over frames
    EXPECT_LT(high.getSmoothedValue(), 0.02f * low.getSmoothedValue());
    EXPECT_EQ(low.history().values[19], low.getSmoothedValue());

    // Paused, with no editor jump or a jump back, the value holds though
    // the tone has ended; without music too.
    Rocket::instance().on_pause(true);
    const float held = low.getSmoothedValue();
    for (double jump : {0.0, -0.2}) {
        Rocket::instance().set_pause_step(jump);
        Rocket::instance().publish_time(frameState().time);
        play(4096 * 4);
        low.render(nullptr);
        EXPECT_EQ(low.getSmoothedValue(), held) << jump;
    }
    timeState().music.reset();
    low.render(nullptr);
    EXPECT_EQ(low.getSmoothedValue(), held);
    EXPECT_EQ(probe->renders, 24);
}

TEST_F(FFTItem, UploadsBothSpectraFourBinsATexel)
{
    GlTestContext gl;
    ASSERT_TRUE(gl.ok());
    const auto target = [](const char* name, int width) {
        RenderTarget* t = gpu().targets.add(name);
        t->create(GL_RGBA32F, width, 1, nullptr, false, 1);
        return t;
    };
    const auto texels = [](RenderTarget* t) {
        std::vector<float> data(size_t(t->width()) * 4, -1.0f);
        glBindTexture(GL_TEXTURE_2D, t->colorTexture());
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, data.data());
        return data;
    };
    RenderTarget* logTarget = target("fft.log", 256);
    RenderTarget* smoothTarget = target("fft.smooth", 1024);
    RenderTarget* tooLarge = target("fft.large", 8192);
    const std::vector<float> largeBefore = texels(tooLarge);

    loadTone();
    FFTQML fft, band, large;
    fft.setTargetTexRT("fft.log");
    fft.setTargetSmoothTexRT("fft.smooth");
    large.setTargetTexRT("fft.large");
    band.setFreq(340.0f / 1024.0f);
    run({&fft, &band, &large}, 3);
    ASSERT_EQ(glGetError(), GLenum(GL_NO_ERROR));

    const std::vector<float> logTexels = texels(logTarget);
    const std::vector<float> smoothTexels = texels(smoothTarget);
    for (int j = 0; j < kSpectrumBins; ++j) {
        ASSERT_FLOAT_EQ(logTexels[size_t(j)], fft.logSpectrum()[j] * 4080.0f) << j;
        ASSERT_FLOAT_EQ(smoothTexels[size_t(j)], fft.smoothSpectrum()[j] * 4.0800004f) << j;
    }
    EXPECT_EQ(std::vector<float>(smoothTexels.begin() + kSpectrumBins, smoothTexels.end()),
              std::vector<float>(smoothTexels.size() - kSpectrumBins, 0.0f));
    EXPECT_GT(logTexels[340], 1.0f);
    // Each bin of the smoothed spectrum is the band value centred on it.
    EXPECT_FLOAT_EQ(fft.smoothSpectrum()[340], band.getSmoothedValue());
    // More texels than the item has values for: refused, nothing read past
    // its buffer.
    EXPECT_EQ(texels(tooLarge), largeBefore);
}

// smooth and areaWidth stand beside Qt Quick's own smooth and width.
TEST(FFTQml, SkeneFilesSetAndBindItsOwnProperties)
{
    ensureQtApp();
    QQmlEngine engine;
    QQmlComponent component(&engine);
    component.setData("import QtQuick 2.15\nimport QuellinDemoSystem 1.0\n"
                      "Item { property real s: fft.smooth; property real w: fft.areaWidth\n"
                      "  FFT { id: fft; objectName: \"fft\"; smooth: 0.3; areaWidth: 0.05 } }\n",
                      QUrl());
    std::unique_ptr<QObject> root(component.create());
    ASSERT_TRUE(root) << component.errorString().toStdString();
    auto* fft = root->findChild<FFTQML*>("fft");
    ASSERT_TRUE(fft);
    EXPECT_FLOAT_EQ(root->property("s").toFloat(), 0.3f);
    fft->setSmoothFactor(0.7f);
    fft->setAreaWidth(0.2f);
    EXPECT_FLOAT_EQ(root->property("s").toFloat(), 0.7f);
    EXPECT_FLOAT_EQ(root->property("w").toFloat(), 0.2f);
}

} // namespace
