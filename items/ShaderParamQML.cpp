#include <GL/glew.h>

#include "items/ShaderParamQML.h"

#include "gpu/Shader.h"
#include "items/IEffect.h"

#include <cstdlib>

std::array<float, 4> parseVec4Text(const std::string& text)
{
    std::array<float, 4> v{0.0f, 0.0f, 0.0f, 0.0f};
    size_t start = 0;
    for (int i = 0; i < 4 && start < text.size(); ++i) {
        size_t end = text.find(',', start);
        if (end == std::string::npos)
            end = text.size();
        // One buffer for every field and call: a text bound to a changing
        // value is parsed every frame.
        thread_local std::string field;
        field.assign(text, start, end - start);
        // strtof skips leading white space, ignores what follows the number
        // and gives 0 when the field does not start with one.
        v[size_t(i)] = std::strtof(field.c_str(), nullptr);
        start = end + 1;
    }
    return v;
}

void ShaderParamQML::applyToCurrentShader() const
{
    Shader* shader = Shader::currentShader();
    if (!shader)
        return;
    if (paramName != nameSeen_) {
        nameSeen_ = paramName;
        IEffect::assignText(nameText_, paramName);
    }
    if (paramValueVec4.isEmpty()) {
        shader->setUniformFloat(nameText_.c_str(), paramValue);
        return;
    }
    if (paramValueVec4 != vec4Seen_) {
        // A text bound to a track changes every frame: convert it into a
        // kept buffer.
        thread_local std::string text;
        IEffect::assignText(text, paramValueVec4);
        vec4Seen_ = paramValueVec4;
        vec4_ = parseVec4Text(text);
    }
    shader->setUniformVec4(nameText_.c_str(), vec4_.data());
}
