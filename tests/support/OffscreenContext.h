#pragma once
// A GL 4.5 compatibility context on an offscreen surface. Kept apart from
// the code that loads GLEW: Qt's GL headers and GLEW's do not mix in one
// file.
#include <memory>

class OffscreenContext {
public:
    OffscreenContext();
    ~OffscreenContext();
    // False when the context could not be made.
    bool created() const { return created_; }
    bool makeCurrent();
    void doneCurrent();
    // Leaves no context current in this thread, whoever made it current.
    static void releaseCurrent();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
    bool created_ = false;
};
