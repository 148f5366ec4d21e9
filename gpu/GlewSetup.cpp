#include <GL/glew.h>

#include "app/GlewSetup.h"

#include <QDebug>

namespace app {

bool initGlew()
{
    glewExperimental = GL_TRUE;
    const GLenum result = glewInit();
    qDebug("glewInitResult:%u", unsigned(result));
    qDebug("lastError:%u", unsigned(glGetError()));
    if (result != GLEW_OK)
        return false;
    qDebug("OpenGL version: %s", reinterpret_cast<const char*>(glGetString(GL_VERSION)));
    return true;
}

} // namespace app
