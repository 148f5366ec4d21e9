#include <GL/glew.h>

#include "items/ShaderParamQML.h"

#include "gpu/GpuResources.h"
#include "items/IEffect.h"
#include "items/QmlText.h"

void ShaderParamQML::applyToCurrentShader() const
{
    Shader* shader = gpu().shaders.current();
    if (!shader)
        return;
    assignText(nameText_, paramName);
    if (paramValueVec4.isEmpty()) {
        shader->setUniformFloat(nameText_.c_str(), paramValue);
        return;
    }
    if (paramValueVec4 != vec4Seen_) {
        // A text bound to a track changes every frame: convert it into a
        // kept buffer.
        thread_local std::string text;
        assignText(text, paramValueVec4);
        vec4Seen_ = paramValueVec4;
        vec4_ = parseVec4Text(text);
    }
    shader->setUniformVec4(nameText_.c_str(), vec4_.data());
}
