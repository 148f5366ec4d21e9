#include "gpu/FramebufferStatus.h"

const char* framebufferStatusText(GLenum status)
{
    switch (status) {
    case GL_FRAMEBUFFER_COMPLETE:
        return " Framebuffer: no error";
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT:
        return " Framebuffer error: Incomplete attachment. (GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT)(FBO - 820)";
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT:
        return " Framebuffer error: Incomplete missing attachment. "
               "(GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT)(FBO - 820)";
    case GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER:
        return " Framebuffer error: Incomplete draw buffer. (GL_FRAMEBUFFER_INCOMPLETE_DRAW_BUFFER)(FBO - 820)";
    case GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER:
        return " Framebuffer error: Incomplete read buffer. (GL_FRAMEBUFFER_INCOMPLETE_READ_BUFFER)(FBO - 820)";
    case GL_FRAMEBUFFER_UNSUPPORTED:
        return " Framebuffer error: Framebuffer object format is unsupported by the video hardware. "
               "(GL_FRAMEBUFFER_UNSUPPORTED)(FBO - 820)";
    case GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE:
        return " Framebuffer error: Incomplete multisample buffer. "
               "(GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE)(FBO - 820)";
    default:
        return " Framebuffer error: Some video driver error or programming error occured. "
               "Framebuffer object status is invalid. (FBO - 823)";
    }
}
