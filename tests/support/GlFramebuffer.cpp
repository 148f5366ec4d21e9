#include "support/GlFramebuffer.h"

#include "gpu/GpuResources.h"

namespace {

// Through the frame host's record when there is one, so the draw items know
// what is bound.
void bindFramebuffer(GLenum target, GLuint framebuffer)
{
    if (GpuResources* resources = currentGpuResources())
        resources->framebuffer.bind(target, framebuffer);
    else
        glBindFramebuffer(target, framebuffer);
}

} // namespace

GlFramebuffer::GlFramebuffer(int width, int height)
    : width_(width)
    , height_(height)
{
    glGenTextures(1, &colour_);
    glBindTexture(GL_TEXTURE_2D, colour_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, width, height, 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
    glGenTextures(1, &depth_);
    glBindTexture(GL_TEXTURE_2D, depth_);
    glTexImage2D(GL_TEXTURE_2D, 0, GL_DEPTH_COMPONENT24, width, height, 0, GL_DEPTH_COMPONENT, GL_FLOAT, nullptr);
    glBindTexture(GL_TEXTURE_2D, 0);
    glGenFramebuffers(1, &fbo_);
    bindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colour_, 0);
    glFramebufferTexture2D(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_TEXTURE_2D, depth_, 0);
    glViewport(0, 0, width, height);
}

GlFramebuffer::~GlFramebuffer()
{
    bindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(1, &fbo_);
    glDeleteTextures(1, &colour_);
    glDeleteTextures(1, &depth_);
}

void GlFramebuffer::bind() const
{
    bindFramebuffer(GL_FRAMEBUFFER, fbo_);
    glViewport(0, 0, width_, height_);
}

void GlFramebuffer::bindCleared(float r, float g, float b, float a) const
{
    bind();
    glClearColor(r, g, b, a);
    glClear(GL_COLOR_BUFFER_BIT);
}

std::array<unsigned char, 4> GlFramebuffer::pixel(int x, int y) const
{
    std::array<unsigned char, 4> rgba{};
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
    glReadPixels(x, y, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    return rgba;
}

float GlFramebuffer::depth(int x, int y) const
{
    float d = -1.0f;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbo_);
    glReadPixels(x, y, 1, 1, GL_DEPTH_COMPONENT, GL_FLOAT, &d);
    return d;
}
