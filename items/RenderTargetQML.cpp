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

void makeTarget(RenderTarget& target, const RenderTargetSettings& settings)
{
    target.release();
    target.create(settings.internalFormat, settings.width, settings.height, nullptr, settings.samples > 1,
                  settings.samples);
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
    const RenderTargetSettings settings{layer.internalFormat(), width, height, layer.samples()};
    RenderTarget* target = resources.targets.find(name);
    if (!target) {
        qDebug() << "Creating new RT:" << name.c_str();
        target = resources.targets.add(name);
        makeTarget(*target, settings);
    }
    // Two layers may name one target with different settings; the one
    // later in the frame wins. The earlier one gives way when the later one
    // named the target after it in the frame before; otherwise each would
    // re-make the target for itself twice a frame.
    const int frame = frameState().frameCounter;
    const bool otherNamedItLast = target->lastLayer != &layer && target->lastLayerFrame >= frame - 1;
    const bool givesWay = otherNamedItLast && target->lastLayerFrame < frame;
    target->lastLayer = &layer;
    target->lastLayerFrame = frame;
    if (target->asked != settings) {
        if (givesWay) {
            if (!target->clashLogged)
                qDebug().noquote() << QString("RenderTargetLayer: two layers name %1 with different settings; "
                                              "the later one's are used")
                                          .arg(QString::fromStdString(name));
            target->clashLogged = true;
        } else {
            // A re-made target has the layer's settings all at once, so at
            // most one of these re-makes it. A target GL refused keeps its
            // settings too: it is tried again only when they change.
            const bool resized = target->asked.width != width || target->asked.height != height;
            if (!resized && target->asked.internalFormat != settings.internalFormat)
                qDebug() << "re-creating texture after format change!";
            else if (!resized)
                qDebug() << "re-creating texture after samples count change!";
            if (!otherNamedItLast)
                target->clashLogged = false;
            makeTarget(*target, settings);
        }
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
    bool named = false;
    const QList<QQuickItem*> children = childItems();
    for (QQuickItem* child : children) {
        auto* layer = qobject_cast<RenderTargetLayerQML*>(child);
        if (!layer || layer->textureRT().isEmpty())
            continue;
        // The last layer decides, a layer that cannot have a target too.
        named = true;
        target_ = prepareLayer(*layer);
    }
    if (!named) {
        renderChildren(pRNLI);
        return;
    }
    if (target_ && target_->bind()) {
        renderChildren(pRNLI);
        target_->unbind();
        return;
    }
    // No target, or one GL could not make complete (both were logged when
    // they came about): the children still run, since cameras, save points,
    // counter clears and particle passes among them matter to what follows,
    // but what they draw goes nowhere rather than over the picture around.
    RenderTargetStack& stack = gpu().targetStack;
    bindNowhere(stack);
    renderChildren(pRNLI);
    unbindNowhere(stack);
}
