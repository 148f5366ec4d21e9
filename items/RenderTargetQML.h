#pragma once
// "RenderTarget": renders its effect children into an off-screen render
// target instead of the frame's framebuffer. Its RenderTargetLayer children
// name the targets (entered in the render-target registry on first use, so
// texture items and others find them by name), give their format, size and
// sample count, clear them and may seed them with a copy of the demo's
// image. With several layers the children render into the last one; the
// others are still made, cleared and seeded.
#include "items/IEffect.h"

class RenderTarget;
class RenderTargetLayerQML;

class RenderTargetQML : public IEffect {
    Q_OBJECT

public:
    explicit RenderTargetQML(QQuickItem* parent = nullptr);

    // The target the children rendered into at the last render, or null.
    RenderTarget* target() const { return target_; }

public Q_SLOTS:
    std::string getEffectName() override;
    // Makes, re-makes, clears and seeds the layers' targets in child order,
    // then renders the children into the last layer's target. Without a
    // layer they render into whatever is bound; into a target whose
    // framebuffer is incomplete they do not render at all.
    void render(RenderNameListItem* pRNLI) override;

private:
    // The layer's target, made or re-made to the layer's settings, cleared
    // and seeded; null for a layer without a name or with a size below 1.
    RenderTarget* prepareLayer(const RenderTargetLayerQML& layer);

    RenderTarget* target_ = nullptr; // owned by the registry
};
