#include "support/OffscreenContext.h"

#include "app/SurfaceFormat.h"
#include "support/QtTestApp.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>

struct OffscreenContext::Impl {
    QOffscreenSurface surface;
    QOpenGLContext context;
};

OffscreenContext::OffscreenContext()
    : impl_((ensureQtApp(), std::make_unique<Impl>())) // surfaces need the application
{
    const QSurfaceFormat format = app::demoSurfaceFormat(QSurfaceFormat(), 1);
    impl_->surface.setFormat(format);
    impl_->surface.create();
    impl_->context.setFormat(format);
    created_ = impl_->context.create();
}

OffscreenContext::~OffscreenContext() = default;

bool OffscreenContext::makeCurrent()
{
    return created_ && impl_->context.makeCurrent(&impl_->surface);
}

void OffscreenContext::doneCurrent()
{
    impl_->context.doneCurrent();
}

void OffscreenContext::releaseCurrent()
{
    if (QOpenGLContext* current = QOpenGLContext::currentContext())
        current->doneCurrent();
}
