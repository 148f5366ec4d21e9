#pragma once
#include <QSurfaceFormat>

namespace app {

// The surface format of every view: a 4.5 compatibility context with depth,
// stencil and the sample count. DeprecatedFunctions matters: without it Qt
// asks for a forward-compatible context, which Mesa answers with a core
// profile in which immediate mode and ftransform() fail.
QSurfaceFormat demoSurfaceFormat(QSurfaceFormat format, int samples);

} // namespace app
