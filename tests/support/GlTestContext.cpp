#include <GL/glew.h>

#include "support/GlTestContext.h"

#include "app/SurfaceFormat.h"
#include "gpu/GlewSetup.h"
#include "gpu/GpuResources.h"
#include "support/QtTestApp.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>

struct GlTestContext::Impl {
    QOffscreenSurface surface;
    QOpenGLContext context;
};

GlTestContext::GlTestContext()
    : impl_((ensureQtApp(), std::make_unique<Impl>())) // surfaces need the application
{
    const QSurfaceFormat format = app::demoSurfaceFormat(QSurfaceFormat(), 1);
    impl_->surface.setFormat(format);
    impl_->surface.create();
    impl_->context.setFormat(format);
    if (!impl_->context.create() || !impl_->context.makeCurrent(&impl_->surface))
        return;
    if (currentGpuResources()) {
        ok_ = initGlew();
        return;
    }
    resources_ = std::make_unique<GpuResources>();
    ok_ = resources_->glewLoaded;
}

GlTestContext::~GlTestContext()
{
    // With the context current, so that the resources' GL objects go.
    if (resources_ && impl_->context.makeCurrent(&impl_->surface))
        resources_.reset();
    resources_.reset();
    impl_->context.doneCurrent();
}

bool GlTestContext::makeCurrent()
{
    return impl_->context.makeCurrent(&impl_->surface);
}

void GlTestContext::releaseCurrent()
{
    if (QOpenGLContext* current = QOpenGLContext::currentContext())
        current->doneCurrent();
}
