#pragma once
// "NoiseGenerator": a repeatable pseudo-random signal in -1..1 that follows
// the demo clock. At freq values per second of demo time it steps through
// the random sequence of its seed and interpolates between successive
// values, so it stops while the demo is paused and replays identically for
// the same seed and timeline. Skenes read value, typically for a shake or a
// flicker.
//
// Until seed is set to something other than 0 the window holds four zeros
// (value -1) and then draws from the default sequence.
#include "items/IEffect.h"
#include "time/NoiseSignal.h"

#include <QString>

#include <string>

class NoiseQML : public IEffect {
    Q_OBJECT
    Q_PROPERTY(QString effectName READ effectName WRITE setEffectName NOTIFY effectNameChanged)
    // Random values per second of demo time; not positive holds the value.
    Q_PROPERTY(float freq READ freq WRITE setFreq NOTIFY freqChanged)
    Q_PROPERTY(int seed READ seed WRITE setSeed NOTIFY seedChanged)
    Q_PROPERTY(float value READ value NOTIFY valueChanged)
    // 0 none (steps), 1 linear, 2 smoothstep, 3 cubic through the neighbours;
    // any other value holds the value.
    Q_PROPERTY(int interpolation READ interpolation WRITE setInterpolation NOTIFY interpolationChanged)

public:
    explicit NoiseQML(QQuickItem* parent = nullptr);

    QString effectName() const { return effectName_; }
    void setEffectName(const QString& name);
    float freq() const { return freq_; }
    void setFreq(float v);
    int seed() const { return seed_; }
    // A new seed restarts the sequence and refills the window from it.
    void setSeed(int v);
    float value() const { return value_; }
    int interpolation() const { return interpolation_; }
    void setInterpolation(int v);

    const NoiseSignal& signal() const { return signal_; }

Q_SIGNALS:
    void effectNameChanged();
    void freqChanged();
    void seedChanged();
    void valueChanged();
    void interpolationChanged();

public Q_SLOTS:
    std::string getEffectName() override;
    void render(RenderNameListItem* pRNLI) override;

private:
    QString effectName_ = QStringLiteral("Noise");
    float freq_ = 1.0f;
    int seed_ = 0;
    int interpolation_ = NoiseSignal::None;
    float value_ = 0.0f;
    NoiseSignal signal_;
};
