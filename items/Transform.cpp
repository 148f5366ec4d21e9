#include <GL/glew.h>

#include "items/Transform.h"

#include "items/ClearQML.h"
#include "items/GroupQML.h"
#include "items/ParamGroupQML.h"
#include "items/PosQML.h"
#include "items/RotQML.h"
#include "items/ScaQML.h"
#include "items/ShaderParamQML.h"
#include "items/TextureQML.h"

#include <glm/gtc/matrix_transform.hpp>

namespace {

void applyClear(const ClearQML& clear)
{
    glColorMask(clear.mR(), clear.mG(), clear.mB(), clear.mA());
    GLbitfield buffers = 0;
    if (clear.clearColour) {
        glClearColor(clear.cR(), clear.cG(), clear.cB(), clear.cA());
        buffers |= GL_COLOR_BUFFER_BIT;
    }
    if (clear.clearDepthValue) {
        glClearDepth(clear.cD());
        buffers |= GL_DEPTH_BUFFER_BIT;
    }
    glClear(buffers);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
}

} // namespace

void applyChild(QQuickItem* child, glm::mat4& mv, glm::mat4& m)
{
    if (!child)
        return;
    if (qobject_cast<ParamGroupQML*>(child)) {
        const QList<QQuickItem*> children = child->childItems();
        for (QQuickItem* inner : children)
            applyChild(inner, mv, m);
        return;
    }
    // Textures bind for the draw that follows; a group renders (or, when
    // disabled, does not) at its place among the transforms.
    if (auto* texture = qobject_cast<TextureQML*>(child)) {
        texture->render(nullptr);
    } else if (auto* group = qobject_cast<GroupQML*>(child)) {
        group->render(nullptr);
    } else if (auto* pos = qobject_cast<PosQML*>(child)) {
        const glm::mat4 t = glm::translate(glm::mat4(1.0f), glm::vec3(pos->x, pos->y, pos->z));
        mv = mv * t;
        m = m * t;
    } else if (auto* rot = qobject_cast<RotQML*>(child)) {
        const glm::vec3 axis(rot->ax, rot->ay, rot->az);
        // A zero axis names no rotation: leave the matrices as they are
        // rather than fill them with NaNs.
        if (glm::dot(axis, axis) > 0.0f) {
            const glm::mat4 r = glm::rotate(glm::mat4(1.0f), glm::radians(rot->d), glm::normalize(axis));
            mv = mv * r;
            m = m * r;
        }
    } else if (auto* sca = qobject_cast<ScaQML*>(child)) {
        const glm::mat4 s = glm::scale(glm::mat4(1.0f), glm::vec3(sca->s * sca->x, sca->s * sca->y, sca->s * sca->z));
        mv = mv * s;
        m = m * s;
    } else if (auto* param = qobject_cast<ShaderParamQML*>(child)) {
        param->applyToCurrentShader();
    } else if (auto* clear = qobject_cast<ClearQML*>(child)) {
        if (clear->isEnabled())
            applyClear(*clear);
    }
}
