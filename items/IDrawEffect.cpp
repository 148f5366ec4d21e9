#include <GL/glew.h>

#include "items/IDrawEffect.h"

#include "gpu/GpuResources.h"

#include <algorithm>

IDrawEffect::IDrawEffect(QQuickItem* parent)
    : IEffect(parent)
{
}

void IDrawEffect::setClearDepth(bool on)
{
    if (on == clearDepth_)
        return;
    clearDepth_ = on;
    Q_EMIT clearDepthChanged(on);
}

void IDrawEffect::setDepthWrite(bool on)
{
    if (on == depthWrite_)
        return;
    depthWrite_ = on;
    Q_EMIT depthWriteChanged(on);
}

void IDrawEffect::setDepthTest(bool on)
{
    if (on == depthTest_)
        return;
    depthTest_ = on;
    Q_EMIT depthTestChanged(on);
}

void IDrawEffect::applyBlendMode(const QString& mode)
{
    if (mode == QLatin1String("off")) {
        glDisable(GL_BLEND);
        return;
    }
    glEnable(GL_BLEND);
    if (mode == QLatin1String("add"))
        glBlendFunc(GL_SRC_ALPHA, GL_ONE);
    else if (mode == QLatin1String("mul"))
        glBlendFunc(GL_DST_COLOR, GL_ZERO);
    else if (mode == QLatin1String("sub"))
        glBlendFunc(GL_ZERO, GL_ONE_MINUS_SRC_COLOR);
    else
        glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
}

glm::mat4 IDrawEffect::viewMatrix()
{
    return cameraViewMatrix(gpu().camera.get());
}

void IDrawEffect::selectDrawBuffers(int count)
{
    if (gpu().framebuffer.draw() == 0)
        return;
    static const GLenum attachments[3] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2};
    glDrawBuffers(std::clamp(count, 0, 3), attachments);
}

void IDrawEffect::pushDepthState()
{
    DepthStacks& depth = gpu().depth;
    depth.pushTest(depthTest_);
    depth.pushWrite(depthWrite_);
}

void IDrawEffect::popDepthState()
{
    DepthStacks& depth = gpu().depth;
    depth.popWrite();
    depth.popTest();
}
