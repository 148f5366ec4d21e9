#include "gpu/FramebufferBinding.h"

void FramebufferBinding::bind(GLenum target, GLuint framebuffer)
{
    glBindFramebuffer(target, framebuffer);
    if (target != GL_READ_FRAMEBUFFER)
        draw_ = framebuffer;
}
