#include <GL/glew.h>

#include "gpu/GpuResources.h"

#include "gpu/GlewSetup.h"
#include "gpu/VertexBuffers.h"
#include "platform/GlContext.h"

#include <QObject>
#include <QPointer>

#include <cstdio>
#include <cstdlib>

namespace {

GpuResources* current = nullptr;

} // namespace

struct GpuResources::Context {
    // Null once the context is gone: its objects went with it.
    QPointer<QObject> context;
};

GpuResources::GpuResources()
    : context_(std::make_unique<Context>())
{
    context_->context = platform::currentGlContextObject();
    glewLoaded = context_->context && initGlew();
    previous_ = current;
    current = this;
}

GpuResources::~GpuResources()
{
    if (contextCurrent())
        releaseGlObjects();
    if (current == this)
        current = previous_;
}

bool GpuResources::contextCurrent() const
{
    return context_->context && context_->context == platform::currentGlContextObject();
}

void GpuResources::releaseGlObjects()
{
    if (!glewLoaded)
        return;
    feedback.finishOpenCapture();
    shaders.releaseAll();
    for (const auto& entry : meshes.entries())
        releaseMeshBuffers(*entry.second);
    for (const auto& entry : vertexBuffers.entries())
        releaseMeshBuffers(*entry.second);
    targets.releaseAll();
    counters.releaseAll();
}

GpuResources* currentGpuResources()
{
    return current;
}

GpuResources& gpu()
{
    if (!current) {
        std::fprintf(stderr, "no GPU resources: items render only under a frame host that made them\n");
        std::abort();
    }
    return *current;
}

bool gpuReady()
{
    if (!current)
        return false;
    if (!current->glewLoaded && platform::currentGlContext())
        current->glewLoaded = initGlew();
    return current->glewLoaded;
}

bool glewReady()
{
    return current && current->glewLoaded;
}

void forgetGlew()
{
    if (current)
        current->glewLoaded = false;
}
