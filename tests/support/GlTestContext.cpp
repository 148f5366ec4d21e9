#include <GL/glew.h>

#include "support/GlTestContext.h"

#include "gpu/GlewSetup.h"
#include "gpu/GpuResources.h"
#include "support/OffscreenContext.h"
#include "support/TestCache.h"

GlTestContext::GlTestContext()
    : impl_(std::make_unique<OffscreenContext>())
{
    isolateUserCache();
    if (!impl_->makeCurrent())
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
    if (resources_ && impl_->makeCurrent())
        resources_.reset();
    resources_.reset();
    impl_->doneCurrent();
}

bool GlTestContext::makeCurrent()
{
    return impl_->makeCurrent();
}

void GlTestContext::releaseCurrent()
{
    OffscreenContext::releaseCurrent();
}
