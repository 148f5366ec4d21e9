#include "support/GlTestContext.h"

#include "app/SurfaceFormat.h"
#include "gpu/GlewSetup.h"
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
    ok_ = impl_->context.create() && impl_->context.makeCurrent(&impl_->surface) && initGlew();
}

GlTestContext::~GlTestContext()
{
    impl_->context.doneCurrent();
}

void GlTestContext::releaseCurrent()
{
    if (QOpenGLContext* current = QOpenGLContext::currentContext())
        current->doneCurrent();
}
