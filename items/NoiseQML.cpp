#include "items/NoiseQML.h"

#include "state/FrameState.h"

NoiseQML::NoiseQML(QQuickItem* parent)
    : IEffect(parent)
{
    setFlag(QQuickItem::ItemHasContents);
}

void NoiseQML::setEffectName(const QString& name)
{
    if (name == effectName_)
        return;
    effectName_ = name;
    Q_EMIT effectNameChanged();
}

void NoiseQML::setFreq(float v)
{
    if (v == freq_)
        return;
    freq_ = v;
    Q_EMIT freqChanged();
}

void NoiseQML::setSeed(int v)
{
    if (v == seed_)
        return;
    seed_ = v;
    signal_.reseed(uint32_t(v));
    Q_EMIT seedChanged();
}

void NoiseQML::setInterpolation(int v)
{
    if (v == interpolation_)
        return;
    interpolation_ = v;
    Q_EMIT interpolationChanged();
}

std::string NoiseQML::getEffectName()
{
    return effectName_.toStdString();
}

void NoiseQML::render(RenderNameListItem* pRNLI)
{
    evaluateRocketName();
    const double demoMs = frameState().time.demoSeconds * 1000.0;
    value_ = signal_.step(demoMs, freq_, interpolation_, value_);
    Q_EMIT valueChanged();
    renderChildren(pRNLI);
}
