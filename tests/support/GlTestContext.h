#pragma once
// A current GL 4.5 compatibility context on an offscreen surface, with GLEW
// loaded, for tests that issue GL calls without a window.
#include <memory>

class GlTestContext {
public:
    GlTestContext();
    ~GlTestContext();
    // True when the context is current and GLEW is ready.
    bool ok() const { return ok_; }

    // Leaves no context current in this thread, whoever made it current.
    static void releaseCurrent();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool ok_ = false;
};
