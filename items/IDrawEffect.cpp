#include <GL/glew.h>

#include "items/IDrawEffect.h"

#include "gpu/DepthState.h"
#include "gpu/FramebufferBinding.h"
#include "items/CameraQML.h"

#include <glm/gtc/matrix_transform.hpp>

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
    glm::vec3 eye(0.0f, 0.0f, -1.0f);
    glm::vec3 centre(0.0f);
    glm::vec3 up(0.0f, 1.0f, 0.0f);
    if (const CameraData* camera = currentCamera()) {
        eye = glm::vec3(camera->x, camera->y, camera->z);
        centre = glm::vec3(camera->lookAtX, camera->lookAtY, camera->lookAtZ);
        up = glm::vec3(camera->upX, camera->upY, camera->upZ);
    }
    return glm::lookAt(eye, centre, up);
}

glm::mat4 IDrawEffect::withCameraPitchYaw(const glm::mat4& mv, const CameraData& camera)
{
    const glm::vec3 c(camera.lookAtX, camera.lookAtY, camera.lookAtZ);
    const glm::mat4 identity(1.0f);
    const glm::mat4 toCentre = glm::translate(identity, -c);
    const glm::mat4 back = glm::translate(identity, c);
    const glm::mat4 pitch = glm::rotate(identity, glm::radians(camera.pitchLA), glm::vec3(1.0f, 0.0f, 0.0f));
    const glm::mat4 yaw = glm::rotate(identity, glm::radians(camera.yawLA), glm::vec3(0.0f, 1.0f, 0.0f));
    return mv * toCentre * pitch * back * toCentre * yaw * back;
}

void IDrawEffect::selectDrawBuffers(int count)
{
    if (boundDrawFramebuffer() == 0)
        return;
    static const GLenum attachments[3] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2};
    glDrawBuffers(std::clamp(count, 0, 3), attachments);
}

void IDrawEffect::pushDepthState()
{
    pushDepthTest(depthTest_);
    pushDepthWrite(depthWrite_);
}

void IDrawEffect::popDepthState()
{
    popDepthWrite();
    popDepthTest();
}
