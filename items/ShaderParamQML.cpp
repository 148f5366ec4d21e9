#include <GL/glew.h>

#include "items/ShaderParamQML.h"

#include "gpu/Shader.h"

void ShaderParamQML::applyToCurrentShader() const
{
    Shader* shader = Shader::currentShader();
    if (!shader)
        return;
    const std::string name = paramName.toStdString();
    if (paramValueVec4.isEmpty()) {
        shader->setUniformFloat(name.c_str(), paramValue);
        return;
    }
    const std::array<float, 4> v = parseVec4Text(paramValueVec4.toStdString());
    shader->setUniformVec4(name.c_str(), v.data());
}
