#include <GL/glew.h>

#include "TestEffects.h"

#include "gpu/GpuResources.h"

#include <QtQml>

std::vector<std::string>& renderLog()
{
    static std::vector<std::string> log;
    return log;
}

ColourEffect::ColourEffect(QQuickItem* parent)
    : IEffect(parent)
{
}

std::string ColourEffect::getEffectName()
{
    return "ColourEffect";
}

void ColourEffect::render(RenderNameListItem* pRNLI)
{
    ++renders;
    renderLog().push_back(nameText());
    depthTestOn = glIsEnabled(GL_DEPTH_TEST) == GL_TRUE;
    blendOn = glIsEnabled(GL_BLEND) == GL_TRUE;
    GLboolean mask = GL_FALSE;
    glGetBooleanv(GL_DEPTH_WRITEMASK, &mask);
    depthWriteOn = mask == GL_TRUE;
    GLint fb = 0;
    glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &fb);
    boundFramebuffer = fb;
    trackedFramebuffer = int(gpu().framebuffer.draw());
    glClearColor(float(r), float(g), float(b), 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    renderChildren(pRNLI);
}

void registerTestEffects()
{
    qmlRegisterType<ColourEffect>("TarvonicTest", 1, 0, "ColourEffect");
}
