#pragma once
// "Texture": binds one texture to a texture unit for the draws that follow:
// the texture of a Qt Quick item that provides one (an Image, or any item
// with layer.enabled), a render target by name, or "mainDepth", the depth
// texture of the frame. It can also bind the render target as an image for
// load/store, copy the framebuffer into the bound texture, and read the
// render target back so QML can sample single pixels with getPixel.
//
// Rendered by the traversal, or in place among a draw item's children just
// before the draw (and then again after it, with the draw item's children).
#include "items/IEffect.h"

#include <QPointer>
#include <QSGTexture>
#include <QString>

#include <climits>
#include <string>

class RenderTarget;

class TextureQML : public IEffect {
    Q_OBJECT
    Q_PROPERTY(QQuickItem* textureItem READ textureItem WRITE setTextureItem NOTIFY sourceChanged)
    Q_PROPERTY(QString textureRT READ textureRT WRITE setTextureRT NOTIFY textureRTChanged)
    Q_PROPERTY(QString textureFilter READ textureFilter WRITE setTextureFilter NOTIFY textureFilterChanged)
    Q_PROPERTY(QString textureWrap READ textureWrap WRITE setTextureWrap NOTIFY textureWrapChanged)
    Q_PROPERTY(int textureUnit READ textureUnit WRITE setTextureUnit NOTIFY textureUnitChanged)
    Q_PROPERTY(int imageUnit READ imageUnit WRITE setImageUnit NOTIFY imageUnitChanged)
    Q_PROPERTY(bool blit MEMBER blit_)
    Q_PROPERTY(bool readData MEMBER readData_)

public:
    explicit TextureQML(QQuickItem* parent = nullptr);

    QQuickItem* textureItem() const { return textureItem_; }
    // Always stores and notifies; the item's texture is taken at the next
    // synchronisation.
    void setTextureItem(QQuickItem* item);
    QString textureRT() const { return textureRT_; }
    void setTextureRT(const QString& name);
    // "linear", else nearest.
    QString textureFilter() const { return textureFilter_; }
    void setTextureFilter(const QString& filter);
    // "repeat", else clamp to the edge.
    QString textureWrap() const { return textureWrap_; }
    void setTextureWrap(const QString& wrap);
    int textureUnit() const { return textureUnit_; }
    void setTextureUnit(int unit);
    // -1: no image binding.
    int imageUnit() const { return imageUnit_; }
    void setImageUnit(int unit);

    // The Qt Quick item's texture as taken at the last synchronisation.
    QSGTexture* providerTexture() const { return providerTexture_; }
    // The render target found by textureRT at the last render that found
    // one; never the frame's depth texture.
    RenderTarget* renderTarget() const { return renderTarget_; }

Q_SIGNALS:
    void sourceChanged(const QQuickItem* item);
    void textureRTChanged(QString textureRT);
    void textureFilterChanged(QString textureFilter);
    void textureWrapChanged(QString textureWrap);
    void textureUnitChanged(int textureUnit);
    void imageUnitChanged(int imageUnit);

public Q_SLOTS:
    std::string getEffectName() override;
    void render(RenderNameListItem* pRNLI) override;
    // A value of the last read-back (readData): -1 before any read or
    // without a render target; 0 outside the image or for a component
    // outside 0..3 (RGBA).
    float getPixel(int x, int y, int component);

protected:
    QSGNode* updatePaintNode(QSGNode* node, UpdatePaintNodeData* data) override;

private:
    void takeProviderTexture();
    void bindNamedTexture();
    void copyFramebufferIntoBoundTexture();

    QPointer<QQuickItem> textureItem_;
    QString textureRT_;
    std::string textureRTName_; // textureRT_ as the registry's key, kept between frames
    QString textureFilter_ = QStringLiteral("linear");
    QString textureWrap_ = QStringLiteral("repeat");
    int textureUnit_ = 0;
    int imageUnit_ = -1;
    bool blit_ = false;
    bool readData_ = false;

    // Owned by the provider (or by the atlas texture it was removed from).
    QPointer<QSGTexture> providerTexture_;
    RenderTarget* renderTarget_ = nullptr;        // owned by the registry
    bool pixelsRead_ = false;
    bool notProviderReported_ = false; // for the current textureItem
    int refusedUnit_ = INT_MIN; // the out-of-range unit logged last
};
