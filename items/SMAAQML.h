#pragma once
// "SMAA": anti-aliases what the frame has drawn so far into the window's
// framebuffer, in three passes (gpu/Smaa.h), then renders its children over
// the result. Place it after the items whose edges it should smooth.
#include <GL/glew.h>

#include "gpu/Smaa.h"
#include "items/IEffect.h"

class SMAAQML : public IEffect {
    Q_OBJECT

public:
    explicit SMAAQML(QQuickItem* parent = nullptr);

    const SmaaPasses& passes() const { return passes_; }

public Q_SLOTS:
    std::string getEffectName() override;
    // Builds the targets, tables and programs once. Called outside the
    // frame, where no GL context is current, it leaves the work to the
    // first render.
    void init();
    void render(RenderNameListItem* pRNLI) override;
    // Drains the GL error queue and writes what it held (gpu/Smaa.h).
    void checkGLError(int position);

private:
    SmaaPasses passes_;
};
