#include "platform/GlContext.h"

#include <QOpenGLContext>

namespace platform {

QOpenGLContext* currentGlContext()
{
    return QOpenGLContext::currentContext();
}

} // namespace platform
