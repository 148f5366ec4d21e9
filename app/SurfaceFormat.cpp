#include "app/SurfaceFormat.h"

namespace app {

QSurfaceFormat demoSurfaceFormat(QSurfaceFormat format, int samples)
{
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(4, 5);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setOption(QSurfaceFormat::DeprecatedFunctions);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    format.setSamples(samples);
    return format;
}

} // namespace app
