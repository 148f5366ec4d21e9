#include "items/RenderTargetLayerQML.h"

#include <QDebug>

namespace {

const struct {
    const char* name;
    GLenum format;
} kFormats[] = {
    {"R32UI", GL_R32UI}, {"R32F", GL_R32F}, {"R16F", GL_R16F}, {"RGBA16F", GL_RGBA16F}, {"RGBA32F", GL_RGBA32F},
};

} // namespace

GLenum RenderTargetLayerQML::formatFromName(const QString& name)
{
    for (const auto& f : kFormats) {
        if (name == QLatin1String(f.name))
            return f.format;
    }
    return 0;
}

QString RenderTargetLayerQML::nameOfFormat(GLenum internalFormat)
{
    for (const auto& f : kFormats) {
        if (internalFormat == f.format)
            return QString::fromLatin1(f.name);
    }
    return QStringLiteral("RGBA16F");
}

void RenderTargetLayerQML::setTextureRT(const QString& name)
{
    if (name == textureRT_)
        return;
    textureRT_ = name;
    textureRTName_ = name.toStdString();
    Q_EMIT textureRTChanged();
}

void RenderTargetLayerQML::setBlitRT(int attachment)
{
    if (attachment == blitRT_)
        return;
    blitRT_ = attachment;
    Q_EMIT blitRTChanged();
}

QString RenderTargetLayerQML::format() const
{
    return nameOfFormat(internalFormat_);
}

void RenderTargetLayerQML::setFormat(const QString& name)
{
    const QString before = format();
    if (const GLenum f = formatFromName(name))
        internalFormat_ = f;
    else
        qDebug() << "RenderTargetLayer: unknown format" << name << "- keeping" << before;
    if (before != name)
        Q_EMIT formatChanged();
}

void RenderTargetLayerQML::setLayerWidth(int width)
{
    if (width == width_)
        return;
    width_ = width;
    if (width < 1 && width != -1)
        qDebug() << "RenderTargetLayer: width" << width << "makes no target; -1 follows the window";
    Q_EMIT sizeChanged();
}

void RenderTargetLayerQML::setLayerHeight(int height)
{
    if (height == height_)
        return;
    height_ = height;
    if (height < 1 && height != -1)
        qDebug() << "RenderTargetLayer: height" << height << "makes no target; -1 follows the window";
    Q_EMIT sizeChanged();
}

void RenderTargetLayerQML::setSamples(int samples)
{
    if (samples == samples_)
        return;
    samples_ = samples;
    Q_EMIT samplesChanged();
}
