#include "items/SMAAQML.h"

#include "gpu/Shader.h"

SMAAQML::SMAAQML(QQuickItem* parent)
    : IEffect(parent)
{
}

std::string SMAAQML::getEffectName()
{
    return "SMAA";
}

void SMAAQML::init()
{
    passes_.init();
}

void SMAAQML::checkGLError(int position)
{
    ::checkGLError(position);
}

void SMAAQML::render(RenderNameListItem* pRNLI)
{
    init();
    checkGLError(45);
    passes_.run();
    // The passes leave program 0 bound; the shader around this item goes on.
    if (Shader* shader = Shader::currentShader())
        shader->use();
    renderChildren(pRNLI);
}
