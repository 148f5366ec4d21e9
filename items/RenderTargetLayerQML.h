#pragma once
// "RenderTargetLayer": one render target of its RenderTarget parent, by
// name, with its format, size and sample count, the clears that run on it
// before its parent's children render (its Clear children), and optionally a
// copy of one colour attachment of the demo's framebuffer to start from.
// A parameter item: its parent reads it, the traversal never renders it.
#include <GL/glew.h>

#include <QQuickItem>
#include <QString>

#include <string>

class RenderTargetLayerQML : public QQuickItem {
    Q_OBJECT
    Q_PROPERTY(QString textureRT READ textureRT WRITE setTextureRT NOTIFY textureRTChanged)
    Q_PROPERTY(int blitRT READ blitRT WRITE setBlitRT NOTIFY blitRTChanged)
    Q_PROPERTY(QString format READ format WRITE setFormat NOTIFY formatChanged)
    // These two stand in for the item's own width and height in QML.
    Q_PROPERTY(int width READ layerWidth WRITE setLayerWidth NOTIFY sizeChanged)
    Q_PROPERTY(int height READ layerHeight WRITE setLayerHeight NOTIFY sizeChanged)
    Q_PROPERTY(int samples READ samples WRITE setSamples NOTIFY samplesChanged)

public:
    explicit RenderTargetLayerQML(QQuickItem* parent = nullptr) : QQuickItem(parent) {}

    // The target's name; a layer without one is skipped.
    QString textureRT() const { return textureRT_; }
    // textureRT as the 8-bit name the registry keys targets by.
    const std::string& textureRTName() const { return textureRTName_; }
    void setTextureRT(const QString& name);
    // The colour attachment of the demo's framebuffer copied into the target
    // before its parent's children render; -1 copies nothing.
    int blitRT() const { return blitRT_; }
    void setBlitRT(int attachment);
    // "R32UI", "R32F", "R16F", "RGBA16F" or "RGBA32F"; another text leaves
    // the format as it was (and reads back as "RGBA16F" if that was not one
    // of them either).
    QString format() const;
    void setFormat(const QString& name);
    GLenum internalFormat() const { return internalFormat_; }
    // -1 follows the window.
    int layerWidth() const { return width_; }
    void setLayerWidth(int width);
    int layerHeight() const { return height_; }
    void setLayerHeight(int height);
    // Above 1 the target is multisampled.
    int samples() const { return samples_; }
    void setSamples(int samples);

    // The GL format of a format name, or 0 for a name not in the table; the
    // name of a GL format, "RGBA16F" for one not in the table.
    static GLenum formatFromName(const QString& name);
    static QString nameOfFormat(GLenum internalFormat);

Q_SIGNALS:
    void textureRTChanged();
    void blitRTChanged();
    void formatChanged();
    void sizeChanged();
    void samplesChanged();

private:
    QString textureRT_;
    std::string textureRTName_;
    int blitRT_ = -1;
    GLenum internalFormat_ = GL_RGBA16F;
    int width_ = -1;
    int height_ = -1;
    int samples_ = 1;
};
