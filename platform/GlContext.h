#pragma once
// The GL context current on this thread, for code that includes GLEW and so
// cannot include Qt's GL headers itself.
class QObject;
class QOpenGLContext;
class QSurface;

namespace platform {

// Null when no context is current.
QOpenGLContext* currentGlContext();
// The same as an object that can be watched for its end (QPointer).
QObject* currentGlContextObject();
// Makes context current on surface; false when it cannot (or there is no
// context).
bool makeGlContextCurrent(QOpenGLContext* context, QSurface* surface);

} // namespace platform
