#include <GL/glew.h>

#include "items/TextureQML.h"

#include "gpu/GpuResources.h"
#include "items/QmlText.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"

#include <QDebug>
#include <QSGDynamicTexture>
#include <QSGNode>
#include <QSGTextureProvider>

#include <algorithm>
#include <climits>

TextureQML::TextureQML(QQuickItem* parent)
    : IEffect(parent)
{
    setFlag(QQuickItem::ItemHasContents);
}

void TextureQML::setTextureItem(QQuickItem* item)
{
    providerTexture_ = nullptr;
    notProviderReported_ = false;
    textureItem_ = item;
    Q_EMIT sourceChanged(item);
    if (item)
        update();
}

void TextureQML::setTextureRT(const QString& name)
{
    if (name == textureRT_)
        return;
    textureRT_ = name;
    Q_EMIT textureRTChanged(name);
}

void TextureQML::setTextureFilter(const QString& filter)
{
    if (filter == textureFilter_)
        return;
    textureFilter_ = filter;
    Q_EMIT textureFilterChanged(filter);
}

void TextureQML::setTextureWrap(const QString& wrap)
{
    if (wrap == textureWrap_)
        return;
    textureWrap_ = wrap;
    Q_EMIT textureWrapChanged(wrap);
}

void TextureQML::setTextureUnit(int unit)
{
    if (unit == textureUnit_)
        return;
    textureUnit_ = unit;
    Q_EMIT textureUnitChanged(unit);
}

void TextureQML::setImageUnit(int unit)
{
    if (unit == imageUnit_)
        return;
    imageUnit_ = unit;
    Q_EMIT imageUnitChanged(unit);
}

std::string TextureQML::getEffectName()
{
    return "Texture";
}

QSGNode* TextureQML::updatePaintNode(QSGNode* node, UpdatePaintNodeData*)
{
    takeProviderTexture();
    return node ? node : new QSGNode();
}

void TextureQML::takeProviderTexture()
{
    if (!textureItem_)
        return;
    if (!textureItem_->isTextureProvider()) {
        if (!notProviderReported_) {
            qDebug() << "Texture: the item has no texture to give (an Image does; other items need"
                     << "layer.enabled: true):" << textureItem_->metaObject()->className();
            notProviderReported_ = true;
        }
        return;
    }
    QSGTextureProvider* provider = textureItem_->textureProvider();
    QSGTexture* texture = provider ? provider->texture() : nullptr;
    if (!texture)
        return;
    // A new image replaces the provider's texture; take the new one.
    connect(provider, &QSGTextureProvider::textureChanged, this, &QQuickItem::update, Qt::UniqueConnection);
    // Shaders sample the whole texture, not a corner of a shared atlas.
    if (texture->isAtlasTexture()) {
        if (QSGTexture* own = texture->removedFromAtlas())
            texture = own;
    }
    if (auto* dynamic = qobject_cast<QSGDynamicTexture*>(texture))
        dynamic->updateTexture();
    providerTexture_ = texture;
}

void TextureQML::bindNamedTexture()
{
    if (textureRT_ == QLatin1String("mainDepth")) {
        // With samples the frame's depth is a multisample texture, which only
        // binds to its own target.
        const GLenum target = demoDisplay().sampleCount > 1 ? GL_TEXTURE_2D_MULTISAMPLE : GL_TEXTURE_2D;
        glBindTexture(target, frameState().sceneDepthTexture);
        return;
    }
    assignText(textureRTName_, textureRT_);
    RenderTarget* found = gpu().targets.find(textureRTName_);
    if (!found)
        return;
    renderTarget_ = found;
    glBindTexture(GL_TEXTURE_2D, found->colorTexture());
    if (imageUnit_ != -1) {
        glBindImageTexture(GLuint(imageUnit_), found->colorTexture(), 0, GL_FALSE, 0, GL_READ_WRITE,
                           found->internalFormat());
    }
}

void TextureQML::copyFramebufferIntoBoundTexture()
{
    // A copy larger than the texture is refused by GL as a whole; copy the
    // part of the window that fits.
    GLint textureWidth = 0, textureHeight = 0;
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_WIDTH, &textureWidth);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, 0, GL_TEXTURE_HEIGHT, &textureHeight);
    const int width = std::min(demoDisplay().width, int(textureWidth));
    const int height = std::min(demoDisplay().height, int(textureHeight));
    if (width > 0 && height > 0)
        glCopyTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, 0, 0, width, height);
}

void TextureQML::render(RenderNameListItem* pRNLI)
{
    polish();
    if (textureItem_)
        assignText(effectText_, textureItem_->property("file").toString());
    if (!textureRT_.isEmpty())
        assignText(effectText_, textureRT_);

    // A unit GL does not have raises an error and leaves the previous unit
    // active: the texture, filter and wrap would land on whatever the item
    // before left there.
    GLint units = 0;
    glGetIntegerv(GL_MAX_COMBINED_TEXTURE_IMAGE_UNITS, &units);
    if (textureUnit_ < 0 || textureUnit_ >= units) {
        if (refusedUnit_ != textureUnit_)
            qDebug("Texture: textureUnit %d is outside 0..%d; nothing is bound", textureUnit_, int(units) - 1);
        refusedUnit_ = textureUnit_;
        renderChildren(pRNLI);
        return;
    }
    refusedUnit_ = INT_MIN;
    glActiveTexture(GL_TEXTURE0 + GLenum(textureUnit_));
    if (providerTexture_)
        providerTexture_->bind();
    if (!textureRT_.isEmpty())
        bindNamedTexture();

    // On whichever texture was bound last on this unit.
    const GLint filter = textureFilter_ == QLatin1String("linear") ? GL_LINEAR : GL_NEAREST;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    const GLint wrap = textureWrap_ == QLatin1String("repeat") ? GL_REPEAT : GL_CLAMP_TO_EDGE;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);

    if (blit_)
        copyFramebufferIntoBoundTexture();
    if (readData_ && renderTarget_) {
        renderTarget_->readPixels();
        pixelsRead_ = true;
    }
    // A layer or other live texture changes with its item: take it again at
    // the next synchronisation.
    if (qobject_cast<QSGDynamicTexture*>(providerTexture_.data()))
        update();
    renderChildren(pRNLI);
}

float TextureQML::getPixel(int x, int y, int component)
{
    if (!pixelsRead_ || !renderTarget_)
        return -1.0f;
    return renderTarget_->readBackValue(x, y, component);
}
