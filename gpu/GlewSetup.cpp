#include <GL/glew.h>

#include "gpu/GlewSetup.h"

#include <QDebug>

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
