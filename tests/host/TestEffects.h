#pragma once
// Test-only effect types for the frame tests. They are registered for QML by
// registerTestEffects() under "TarvonicTest" 1.0, never in the product's
// module.
#include "items/IEffect.h"

#include <string>
#include <vector>

// Every render of a probe appends its name here, in call order.
std::vector<std::string>& renderLog();

// Clears the bound framebuffer to (r, g, b, 1) when it renders, records the
// call and the depth state it was rendered with, then renders its children.
class ColourEffect : public IEffect {
    Q_OBJECT
    Q_PROPERTY(double r MEMBER r)
    Q_PROPERTY(double g MEMBER g)
    Q_PROPERTY(double b MEMBER b)

public:
    explicit ColourEffect(QQuickItem* parent = nullptr);

    double r = 0, g = 0, b = 0;
    int renders = 0;
    bool depthTestOn = false;
    bool depthWriteOn = false;
    bool blendOn = false;
    int boundFramebuffer = -1;   // as GL has it
    int trackedFramebuffer = -1; // as the draw items see it

public Q_SLOTS:
    std::string getEffectName() override;
    void render(RenderNameListItem* pRNLI) override;
};

void registerTestEffects();
