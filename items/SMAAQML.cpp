#include "items/SMAAQML.h"

#include "gpu/GpuResources.h"

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
    // Called from QML too, outside the frame: it waits for GL.
    if (gpuReady())
        passes_.init(gpu().framebuffer);
}

void SMAAQML::checkGLError(int position)
{
    ::checkGLError(position);
}

void SMAAQML::render(RenderNameListItem* pRNLI)
{
    init();
    checkGLError(45);
    // The passes hand back what they change: the shader around this item
    // goes on with its children.
    passes_.run(gpu().framebuffer);
    renderChildren(pRNLI);
}
