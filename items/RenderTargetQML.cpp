#include <GL/glew.h>

#include "items/RenderTargetQML.h"

#include "gpu/GpuResources.h"
#include "items/ClearQML.h"
#include "items/RenderTargetLayerQML.h"
#include "items/Transform.h"
#include "state/DemoDisplay.h"
#include "state/FrameState.h"

#include <QDebug>

namespace {

void makeTarget(RenderTarget& target, const RenderTargetLayerQML& layer, int width, int height)
{
    target.release();
    target.create(layer.internalFormat(), width, height, nullptr, layer.samples() > 1, layer.samples());
    target.createFramebuffer(true);
}

} // namespace

RenderTargetQML::RenderTargetQML(QQuickItem* parent)
    : IEffect(parent)
{
}

std::string RenderTargetQML::getEffectName()
{
    return "RenderTarget";
}

RenderTarget* RenderTargetQML::prepareLayer(const RenderTargetLayerQML& layer)
{
    const DemoDisplay& display = demoDisplay();
    const int width = layer.layerWidth() == -1 ? display.width : layer.layerWidth();
    const int height = layer.layerHeight() == -1 ? display.height : layer.layerHeight();
    // The layer has said so when it got the size; GL would refuse it anyway.
    if (width < 1 || height < 1)
        return nullptr;

    const std::string& name = layer.textureRTName();
    GpuResources& resources = gpu();
    RenderTarget* target = resources.targets.find(name);
    if (!target) {
        qDebug() << "Creating new RT:" << name.c_str();
        target = resources.targets.add(name);
        makeTarget(*target, layer, width, height);
    }
    // A re-made target has the layer's settings all at once, so at most one
    // of these re-makes it.
    if (target->width() != width || target->height() != height) {
        makeTarget(*target, layer, width, height);
    } else if (target->internalFormat() != layer.internalFormat()) {
        qDebug() << "re-creating texture after format change!";
        makeTarget(*target, layer, width, height);
    } else if (target->samples() != layer.samples()) {
        qDebug() << "re-creating texture after samples count change!";
        makeTarget(*target, layer, width, height);
    }

    const QList<QQuickItem*> children = layer.childItems();

    for (QQuickItem* child : children) {
        if (!qobject_cast<ClearQML*>(child) || !target->bind())
            continue;
        glm::mat4 mv(1.0f), m(1.0f);
        applyChild(child, mv, m);
        target->unbind();
    }

    if (layer.blitRT() != -1) {
        glUseProgram(0);
        target->seedFrom(frameState().windowFramebuffer, layer.blitRT(), display.width, display.height);
        // The same text every frame: built in a kept buffer, stored when it changes.
        thread_local std::string text;
        text.assign("<br>Blit from:").append(std::to_string(layer.blitRT())).append(" to:").append(name);
        if (text != effectText_)
            effectText_ = text;
        if (Shader* shader = resources.shaders.current())
            shader->use();
    }
    return target;
}

void RenderTargetQML::render(RenderNameListItem* pRNLI)
{
    target_ = nullptr;
    const QList<QQuickItem*> children = childItems();
    for (QQuickItem* child : children) {
        auto* layer = qobject_cast<RenderTargetLayerQML*>(child);
        if (!layer || layer->textureRT().isEmpty())
            continue;
        if (RenderTarget* target = prepareLayer(*layer))
            target_ = target;
    }
    if (!target_) {
        renderChildren(pRNLI);
        return;
    }
    // An incomplete target was reported when it was made; drawing what was
    // meant for it into the framebuffer around it would only garble that.
    if (!target_->bind())
        return;
    renderChildren(pRNLI);
    target_->unbind();
}
