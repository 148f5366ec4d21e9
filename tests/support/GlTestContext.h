#pragma once
// A current GL 4.5 compatibility context on an offscreen surface, with GLEW
// loaded, for tests that issue GL calls without a window. It is the test's
// frame host: it makes the GPU resources (gpu/GpuResources.h) with its
// context, unless a set exists already, and destroys them with it current.
#include <memory>

class GpuResources;
class OffscreenContext;

class GlTestContext {
public:
    GlTestContext();
    ~GlTestContext();
    // True when the context is current and GLEW is ready.
    bool ok() const { return ok_; }

    // Makes this context current again.
    bool makeCurrent();
    // Leaves no context current in this thread, whoever made it current.
    static void releaseCurrent();

private:
    std::unique_ptr<OffscreenContext> impl_;
    std::unique_ptr<GpuResources> resources_;
    bool ok_ = false;
};
