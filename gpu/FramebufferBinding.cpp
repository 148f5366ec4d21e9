#include "gpu/FramebufferBinding.h"

namespace {

GLuint& drawFramebuffer()
{
    static GLuint bound = 0;
    return bound;
}

} // namespace

void bindFramebuffer(GLenum target, GLuint framebuffer)
{
    glBindFramebuffer(target, framebuffer);
    if (target != GL_READ_FRAMEBUFFER)
        drawFramebuffer() = framebuffer;
}

GLuint boundDrawFramebuffer()
{
    return drawFramebuffer();
}

void resetFramebufferBinding()
{
    drawFramebuffer() = 0;
}
