#pragma once
// The GL context current on this thread, for code that includes GLEW and so
// cannot include Qt's GL headers itself.
class QOpenGLContext;

namespace platform {

// Null when no context is current.
QOpenGLContext* currentGlContext();

} // namespace platform
