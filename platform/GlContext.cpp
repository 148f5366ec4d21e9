#include "platform/GlContext.h"

#include <QOpenGLContext>

namespace platform {

QOpenGLContext* currentGlContext()
{
    return QOpenGLContext::currentContext();
}

QObject* currentGlContextObject()
{
    return QOpenGLContext::currentContext();
}

bool makeGlContextCurrent(QOpenGLContext* context, QSurface* surface)
{
    return context && surface && context->makeCurrent(surface);
}

} // namespace platform
