#pragma once
// "FFT": turns the music's spectrum into values a skene can use, once per
// frame in its render: one smoothed band value (value), the spectrum on a
// logarithmic frequency axis uploaded into a render target (targetTexRT),
// the same spectrum smoothed bin by bin into a second one
// (targetSmoothTexRT), and a short history of the band value to look a
// little into the past (getPrevValue).
//
// The uploads are float RGBA: texel i of the target carries log bins
// 4i .. 4i + 3 in r, g, b, a, so a 256 x 1 RGBA32F target holds the whole
// spectrum (texels past the 256th get zeros). The log spectrum is scaled by
// 4080 and the smoothed one by 4.08 (the band values over 1000), which puts
// ordinary music around 0..1 in a shader.
//
// Without a music player the item renders its children and nothing else.
#include "items/IEffect.h"
#include "time/FftBands.h"

#include <QString>

#include <memory>
#include <string>
#include <vector>

class FFTQML : public IEffect {
    Q_OBJECT
    Q_PROPERTY(QString effectName READ effectName WRITE setEffectName NOTIFY effectNameChanged)
    // Band centre on the log axis, 0..1.
    Q_PROPERTY(float freq READ freq WRITE setFreq NOTIFY freqChanged)
    // Half-width of the band, same unit; clamped to 0..1 where used. Notifies
    // through the item's own widthChanged, as the skenes know it.
    Q_PROPERTY(float areaWidth READ areaWidth WRITE setAreaWidth NOTIFY widthChanged)
    // Smoothing per 60 Hz frame while the band falls or holds (0 follows at
    // once, 1 never moves).
    Q_PROPERTY(float smooth READ smoothFactor WRITE setSmoothFactor NOTIFY smoothChanged)
    // The same while it rises.
    Q_PROPERTY(float smoothAttack READ smoothAttack WRITE setSmoothAttack NOTIFY smoothAttackChanged)
    Q_PROPERTY(float value READ getSmoothedValue NOTIFY smoothedValueChanged)
    Q_PROPERTY(QString targetTexRT READ targetTexRT WRITE setTargetTexRT NOTIFY targetTexRTChanged)
    Q_PROPERTY(QString targetSmoothTexRT READ targetSmoothTexRT WRITE setTargetSmoothTexRT NOTIFY
                   targetSmoothTexRTChanged)

public:
    explicit FFTQML(QQuickItem* parent = nullptr);

    QString effectName() const { return effectName_; }
    void setEffectName(const QString& name);
    float freq() const { return freq_; }
    void setFreq(float v);
    float areaWidth() const { return areaWidth_; }
    void setAreaWidth(float v);
    float smoothFactor() const { return smooth_; }
    void setSmoothFactor(float v);
    float smoothAttack() const { return smoothAttack_; }
    void setSmoothAttack(float v);
    QString targetTexRT() const { return targetTexRT_; }
    void setTargetTexRT(const QString& name);
    QString targetSmoothTexRT() const { return targetSmoothTexRT_; }
    void setTargetSmoothTexRT(const QString& name);

    // This frame's spectra, kSpectrumBins floats each.
    const float* logSpectrum() const { return logSpectrum_.data(); }
    const float* smoothSpectrum() const { return smoothSpectrum_.data(); }
    const BandHistory& history() const { return *history_; }

Q_SIGNALS:
    void effectNameChanged();
    void freqChanged();
    void smoothChanged();
    void smoothAttackChanged();
    void smoothedValueChanged();
    void targetTexRTChanged();
    void targetSmoothTexRTChanged();

public Q_SLOTS:
    std::string getEffectName() override;
    void render(RenderNameListItem* pRNLI) override;
    float getSmoothedValue() const { return value_; }
    // The band value of the past frame whose stopwatch time is nearest to
    // now + deltaTimeMs (pass a negative delta to look back); 0 from before
    // the first frame.
    float getPrevValue(float deltaTimeMs);

private:
    // Scales the first kSpectrumBins values of spectrum into the staging
    // buffer and replaces the named target's texture with it.
    void upload(const std::string& targetName, const float* spectrum, float scale);

    QString effectName_ = QStringLiteral("FFT");
    float freq_ = 0.1f;
    float areaWidth_ = 0.1f;
    float smooth_ = 0.9f;
    float smoothAttack_ = 0.5f;
    float value_ = 0.0f;
    QString targetTexRT_;
    QString targetSmoothTexRT_;
    std::string targetTexName_;
    std::string targetSmoothTexName_;

    std::vector<float> raw_;
    std::vector<float> logSpectrum_;
    std::vector<float> smoothSpectrum_;
    // Room for a target of up to 4096 RGBA texels; past the spectrum it
    // stays zero.
    std::vector<float> staging_;
    std::unique_ptr<BandSums> sums_;
    std::unique_ptr<BandHistory> history_;
};
