#pragma once
// The draw framebuffer that the items of a frame draw into. Whoever binds a
// framebuffer for the frame (the frame itself, render targets, the
// anti-aliasing passes) binds it here, so the draw items can ask which one
// is bound without a GL query per draw.
//
// Used only on the thread that renders the frame, with its GL context current.
#include <GL/glew.h>

struct FramebufferBinding {
    // glBindFramebuffer(target, framebuffer). GL_FRAMEBUFFER and
    // GL_DRAW_FRAMEBUFFER also make it the draw framebuffer that draw()
    // answers; GL_READ_FRAMEBUFFER leaves that alone.
    void bind(GLenum target, GLuint framebuffer);

    // The draw framebuffer bound last through bind; 0 (the window's own)
    // before any.
    GLuint draw() const { return draw_; }

private:
    GLuint draw_ = 0;
};
