#include <GL/glew.h>

#include "items/FFTQML.h"

#include "gpu/GpuResources.h"
#include "state/FrameState.h"
#include "time/Music.h"
#include "time/Stopwatch.h"
#include "time/TimeState.h"

namespace {

constexpr int kStagingFloats = 16384;
// The smoothed spectrum holds band values (means times 1000); this brings
// them to the log spectrum's texture scale.
constexpr float kLogScale = 4080.0f;
constexpr float kSmoothScale = 4.0800004f;

} // namespace

FFTQML::FFTQML(QQuickItem* parent)
    : IEffect(parent)
    , raw_(kSpectrumBins, 0.0f)
    , logSpectrum_(kSpectrumBins, 0.0f)
    , smoothSpectrum_(kSpectrumBins, 0.0f)
    , staging_(kStagingFloats, 0.0f)
    , sums_(std::make_unique<BandSums>())
    , history_(std::make_unique<BandHistory>())
{
    setFlag(QQuickItem::ItemHasContents);
}

void FFTQML::setEffectName(const QString& name)
{
    if (name == effectName_)
        return;
    effectName_ = name;
    Q_EMIT effectNameChanged();
}

void FFTQML::setFreq(float v)
{
    if (v == freq_)
        return;
    freq_ = v;
    Q_EMIT freqChanged();
}

void FFTQML::setAreaWidth(float v)
{
    if (v == areaWidth_)
        return;
    areaWidth_ = v;
    Q_EMIT widthChanged();
}

void FFTQML::setSmoothFactor(float v)
{
    if (v == smooth_)
        return;
    smooth_ = v;
    Q_EMIT smoothChanged();
}

void FFTQML::setSmoothAttack(float v)
{
    if (v == smoothAttack_)
        return;
    smoothAttack_ = v;
    Q_EMIT smoothAttackChanged();
}

void FFTQML::setTargetTexRT(const QString& name)
{
    if (name == targetTexRT_)
        return;
    targetTexRT_ = name;
    targetTexName_ = name.toStdString();
    Q_EMIT targetTexRTChanged();
}

void FFTQML::setTargetSmoothTexRT(const QString& name)
{
    if (name == targetSmoothTexRT_)
        return;
    targetSmoothTexRT_ = name;
    targetSmoothTexName_ = name.toStdString();
    Q_EMIT targetSmoothTexRTChanged();
}

std::string FFTQML::getEffectName()
{
    return effectName_.toStdString();
}

void FFTQML::upload(const std::string& targetName, const float* spectrum, float scale)
{
    RenderTarget* target = gpu().targets.find(targetName);
    if (!target)
        return;
    for (int j = 0; j < kSpectrumBins; ++j)
        staging_[size_t(j)] = spectrum[j] * scale;
    // A target larger than the staging buffer is refused by the upload
    // rather than read past its end.
    target->upload(staging_.data(), staging_.size() * sizeof(float), GL_RGBA, GL_FLOAT);
}

void FFTQML::render(RenderNameListItem* pRNLI)
{
    Music* music = timeState().music.get();
    if (!music) {
        renderChildren(pRNLI);
        return;
    }
    evaluateRocketName();

    music->get_spectrum(raw_.data(), kSpectrumBins, 0, 0);
    logRemapSpectrum(raw_.data(), logSpectrum_.data());
    sums_->build(logSpectrum_.data());
    if (!targetTexName_.empty())
        upload(targetTexName_, logSpectrum_.data(), kLogScale);

    const float halfWidth = clampUnit(areaWidth_);
    const BandSmoothing weights = bandSmoothing(smooth_, smoothAttack_, frameState().time.timeStepMs);
    value_ = smoothBand(value_, sums_->rawValue(bandBins(freq_, halfWidth)), weights);
    Q_EMIT smoothedValueChanged();

    // The smoothed spectrum advances only while it has somewhere to go.
    if (!targetSmoothTexName_.empty() && gpu().targets.find(targetSmoothTexName_)) {
        for (int j = 0; j < kSpectrumBins; ++j) {
            const BandBins bins = bandBins(float(j) / float(kSpectrumBins), halfWidth);
            smoothSpectrum_[size_t(j)] = smoothBand(smoothSpectrum_[size_t(j)], sums_->rawValue(bins), weights);
        }
        upload(targetSmoothTexName_, smoothSpectrum_.data(), kSmoothScale);
    }

    const Stopwatch* stopwatch = timeState().frameTimer.get();
    history_->push(stopwatch ? float(stopwatch->elapsed_ms()) : 0.0f, value_);

    renderChildren(pRNLI);
}

float FFTQML::getPrevValue(float deltaTimeMs)
{
    const Stopwatch* stopwatch = timeState().frameTimer.get();
    const float now = stopwatch ? float(stopwatch->elapsed_ms()) : 0.0f;
    return history_->nearest(now + deltaTimeMs);
}
