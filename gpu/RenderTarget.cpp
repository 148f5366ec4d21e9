#include <GL/glew.h>

#include "gpu/RenderTarget.h"

#include "gpu/FramebufferStatus.h"

#include <QDebug>

#include <cstring>

namespace {

bool isIntegerFormat(GLenum internalFormat)
{
    switch (internalFormat) {
    case GL_R8UI: case GL_R8I: case GL_R16UI: case GL_R16I: case GL_R32UI: case GL_R32I:
    case GL_RG8UI: case GL_RG8I: case GL_RG16UI: case GL_RG16I: case GL_RG32UI: case GL_RG32I:
    case GL_RGBA8UI: case GL_RGBA8I: case GL_RGBA16UI: case GL_RGBA16I: case GL_RGBA32UI: case GL_RGBA32I:
        return true;
    default:
        return false;
    }
}

bool isSignedIntegerFormat(GLenum internalFormat)
{
    switch (internalFormat) {
    case GL_R8I: case GL_R16I: case GL_R32I: case GL_RG8I: case GL_RG16I: case GL_RG32I:
    case GL_RGBA8I: case GL_RGBA16I: case GL_RGBA32I:
        return true;
    default:
        return false;
    }
}

// The largest sample count the driver offers for the format that does not
// exceed the one asked for (the smallest offered when all exceed it). A
// count the driver lacks would leave the framebuffer incomplete.
GLsizei offeredSamples(GLenum target, GLenum internalFormat, int requested)
{
    GLint count = 0;
    glGetInternalformativ(target, internalFormat, GL_NUM_SAMPLE_COUNTS, 1, &count);
    if (count <= 0)
        return requested;
    std::vector<GLint> offered(size_t(count), 0);
    glGetInternalformativ(target, internalFormat, GL_SAMPLES, count, offered.data());
    for (GLint samples : offered) { // largest first
        if (samples <= requested)
            return samples;
    }
    return offered.back();
}

std::size_t componentCount(GLenum format)
{
    switch (format) {
    case GL_RED: case GL_RED_INTEGER: return 1;
    case GL_RG: case GL_RG_INTEGER: return 2;
    case GL_RGB: case GL_RGB_INTEGER: return 3;
    case GL_RGBA: case GL_RGBA_INTEGER: return 4;
    default: return 0;
    }
}

std::size_t componentBytes(GLenum type)
{
    switch (type) {
    case GL_UNSIGNED_BYTE: case GL_BYTE: return 1;
    case GL_HALF_FLOAT: return 2;
    case GL_FLOAT: case GL_UNSIGNED_INT: case GL_INT: return 4;
    default: return 0;
    }
}

struct FramebufferBindings {
    FramebufferBinding& binding;
    GLint draw = 0;
    GLint read = 0;
    explicit FramebufferBindings(FramebufferBinding& b)
        : binding(b)
    {
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &draw);
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &read);
    }
    void restore() const
    {
        binding.bind(GL_DRAW_FRAMEBUFFER, GLuint(draw));
        binding.bind(GL_READ_FRAMEBUFFER, GLuint(read));
    }
};

const GLenum kThreeAttachments[3] = {GL_COLOR_ATTACHMENT0, GL_COLOR_ATTACHMENT1, GL_COLOR_ATTACHMENT2};

} // namespace

bool RenderTarget::create(GLenum internalFormat, int width, int height, const void* pixels, bool multisample,
                          int samples)
{
    if (colorTexture_)
        return false;
    asked = {internalFormat, width, height, samples};
    // A size from a skene file: a zero or negative one is an error in GL,
    // and a huge one would be allocated again for every read-back.
    GLint maxSize = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxSize);
    if (width < 1 || height < 1 || width > maxSize || height > maxSize) {
        qDebug() << "render target size out of range:" << width << "x" << height;
        return false;
    }
    multisample_ = multisample;
    samples_ = samples;
    // Integer textures only take integer pixel data, even when none is given.
    const GLenum pixelFormat = isIntegerFormat(internalFormat) ? GL_RGBA_INTEGER : GL_RGBA;

    GLint previousUnit = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &previousUnit);
    glActiveTexture(GL_TEXTURE0);
    GLint previous2D = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous2D);
    if (multisample) {
        if (!multisampleTexture_)
            glGenTextures(1, &multisampleTexture_);
        GLint previousMs = 0;
        glGetIntegerv(GL_TEXTURE_BINDING_2D_MULTISAMPLE, &previousMs);
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, multisampleTexture_);
        if (!pixels) {
            glTexImage2DMultisample(GL_TEXTURE_2D_MULTISAMPLE,
                                    offeredSamples(GL_TEXTURE_2D_MULTISAMPLE, internalFormat, samples),
                                    internalFormat, width, height, GL_FALSE);
        }
        glBindTexture(GL_TEXTURE_2D_MULTISAMPLE, GLuint(previousMs));
    }
    glGenTextures(1, &colorTexture_);
    glBindTexture(GL_TEXTURE_2D, colorTexture_);
    if (pixels) {
        glTexStorage2D(GL_TEXTURE_2D, 1, internalFormat, width, height);
        glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width, height, pixelFormat, GL_UNSIGNED_BYTE, pixels);
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GLint(internalFormat), width, height, 0, pixelFormat, GL_UNSIGNED_BYTE,
                     nullptr);
    }
    // One level only: the default mipmapped minification would leave the
    // texture incomplete, and every sample of it black.
    const GLint filter = isIntegerFormat(internalFormat) ? GL_NEAREST : GL_LINEAR;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, filter);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, filter);
    glBindTexture(GL_TEXTURE_2D, GLuint(previous2D));
    glActiveTexture(GLenum(previousUnit));

    width_ = width;
    height_ = height;
    internalFormat_ = internalFormat;
    return true;
}

void RenderTarget::createFramebuffer(bool withDepth)
{
    if (framebuffer_ || !colorTexture_)
        return;
    const FramebufferBindings previous(stack_->binding);
    GLint previousRenderbuffer = 0;
    glGetIntegerv(GL_RENDERBUFFER_BINDING, &previousRenderbuffer);

    glGenFramebuffers(1, &framebuffer_);
    stack_->binding.bind(GL_DRAW_FRAMEBUFFER, framebuffer_);
    glFramebufferTexture2D(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, colorTexture_, 0);

    GLsizei renderSamples = 0;
    if (multisample_) {
        glGenFramebuffers(1, &multisampleFramebuffer_);
        stack_->binding.bind(GL_DRAW_FRAMEBUFFER, multisampleFramebuffer_);
        glGenRenderbuffers(1, &multisampleRenderbuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, multisampleRenderbuffer_);
        // The count the layer asks for, as far as the driver offers it.
        renderSamples = offeredSamples(GL_RENDERBUFFER, internalFormat_, samples_);
        glRenderbufferStorageMultisample(GL_RENDERBUFFER, renderSamples, internalFormat_, width_, height_);
        qDebug() << glGetError();
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER,
                                  multisampleRenderbuffer_);
        qDebug() << glGetError();
    }
    if (withDepth) {
        glGenRenderbuffers(1, &depthRenderbuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, depthRenderbuffer_);
        // On a multisample framebuffer every attachment needs the same sample
        // count; a single-sample depth buffer there leaves it incomplete.
        if (multisample_)
            glRenderbufferStorageMultisample(GL_RENDERBUFFER, renderSamples, GL_DEPTH_COMPONENT24, width_, height_);
        else
            glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT, width_, height_);
        glFramebufferRenderbuffer(GL_DRAW_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, depthRenderbuffer_);
    }

    // Both framebuffers must be complete: the one drawn into, and the one
    // the texture is resolved into.
    GLenum status = glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER);
    if (status == GL_FRAMEBUFFER_COMPLETE && multisample_) {
        stack_->binding.bind(GL_DRAW_FRAMEBUFFER, framebuffer_);
        status = glCheckFramebufferStatus(GL_DRAW_FRAMEBUFFER);
    }
    complete_ = status == GL_FRAMEBUFFER_COMPLETE;
    if (!complete_)
        qDebug("RenderTarget%s", framebufferStatusText(status));

    glBindRenderbuffer(GL_RENDERBUFFER, GLuint(previousRenderbuffer));
    previous.restore();
}

void RenderTarget::release()
{
    const GLuint textures[2] = {colorTexture_, multisampleTexture_};
    glDeleteTextures(2, textures);
    const GLuint renderbuffers[2] = {multisampleRenderbuffer_, depthRenderbuffer_};
    glDeleteRenderbuffers(2, renderbuffers);
    const GLuint framebuffers[2] = {framebuffer_, multisampleFramebuffer_};
    glDeleteFramebuffers(2, framebuffers);
    colorTexture_ = multisampleTexture_ = 0;
    multisampleRenderbuffer_ = depthRenderbuffer_ = 0;
    framebuffer_ = multisampleFramebuffer_ = 0;
    width_ = height_ = 0;
    complete_ = false;
}

bool RenderTarget::bind()
{
    if (!framebuffer_ || !complete_)
        return false;
    RenderTargetStack& stack = *stack_;
    if (stack.entries.empty()) {
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &stack.outerFramebuffer);
        glGetIntegerv(GL_VIEWPORT, stack.outerViewport);
    }
    if (multisample_) {
        stack_->binding.bind(GL_FRAMEBUFFER, multisampleFramebuffer_);
        glBindRenderbuffer(GL_RENDERBUFFER, multisampleRenderbuffer_);
        qDebug() << "bind ms";
    } else {
        stack_->binding.bind(GL_FRAMEBUFFER, framebuffer_);
    }
    glViewport(0, 0, width_, height_);
    stack.entries.push_back({framebuffer_, multisampleFramebuffer_, multisample_, width_, height_});
    return true;
}

namespace {

// Binds what is on top of the stack now: the next target with its viewport,
// or what was in force before the first bind.
void bindTop(RenderTargetStack& stack)
{
    if (!stack.entries.empty()) {
        const RenderTargetStackEntry& top = stack.entries.back();
        stack.binding.bind(GL_FRAMEBUFFER, top.multisample ? top.multisampleFramebuffer : top.framebuffer);
        glViewport(0, 0, top.width, top.height);
        return;
    }
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    stack.binding.bind(GL_FRAMEBUFFER, GLuint(stack.outerFramebuffer));
    glViewport(stack.outerViewport[0], stack.outerViewport[1], stack.outerViewport[2], stack.outerViewport[3]);
    // The default framebuffer has no colour attachments to name.
    if (stack.outerFramebuffer != 0)
        glDrawBuffers(3, kThreeAttachments);
}

} // namespace

bool RenderTarget::unbind()
{
    RenderTargetStack& stack = *stack_;
    if (stack.entries.empty())
        return false;
    stack.entries.pop_back();
    resolve();
    bindTop(stack);
    return true;
}

void bindNowhere(RenderTargetStack& stack)
{
    if (!stack.nowhere) {
        glGenFramebuffers(1, &stack.nowhere);
        const FramebufferBindings previous(stack.binding);
        stack.binding.bind(GL_DRAW_FRAMEBUFFER, stack.nowhere);
        // Without attachments a framebuffer is complete only with a size of
        // its own.
        glFramebufferParameteri(GL_DRAW_FRAMEBUFFER, GL_FRAMEBUFFER_DEFAULT_WIDTH, 1);
        glFramebufferParameteri(GL_DRAW_FRAMEBUFFER, GL_FRAMEBUFFER_DEFAULT_HEIGHT, 1);
        previous.restore();
    }
    if (stack.entries.empty()) {
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &stack.outerFramebuffer);
        glGetIntegerv(GL_VIEWPORT, stack.outerViewport);
    }
    stack.binding.bind(GL_FRAMEBUFFER, stack.nowhere);
    glViewport(0, 0, 1, 1);
    stack.entries.push_back({stack.nowhere, 0, false, 1, 1});
}

bool unbindNowhere(RenderTargetStack& stack)
{
    if (stack.entries.empty())
        return false;
    stack.entries.pop_back();
    bindTop(stack);
    return true;
}

void releaseStack(RenderTargetStack& stack)
{
    if (stack.nowhere)
        glDeleteFramebuffers(1, &stack.nowhere);
    stack.nowhere = 0;
}

void RenderTarget::resolve()
{
    if (!multisample_ || !framebuffer_ || !multisampleFramebuffer_)
        return;
    stack_->binding.bind(GL_DRAW_FRAMEBUFFER, framebuffer_);
    stack_->binding.bind(GL_READ_FRAMEBUFFER, multisampleFramebuffer_);
    glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    stack_->binding.bind(GL_FRAMEBUFFER, framebuffer_);
}

const std::vector<float>& RenderTarget::readPixels()
{
    const std::size_t count = std::size_t(width_) * std::size_t(height_) * 4;
    if (!colorTexture_ || count == 0)
        return readBack_;
    if (readBack_.size() != count)
        readBack_.assign(count, 0.0f);

    GLint previous2D = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous2D);
    GLint previousPackBuffer = 0;
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &previousPackBuffer);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, 0);
    glBindTexture(GL_TEXTURE_2D, colorTexture_);
    // The texture bound here is ours, so the read fits the buffer whatever
    // the caller had bound.
    if (isIntegerFormat(internalFormat_)) {
        const bool isSigned = isSignedIntegerFormat(internalFormat_);
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA_INTEGER, isSigned ? GL_INT : GL_UNSIGNED_INT, readBack_.data());
        for (float& value : readBack_) {
            uint32_t bits = 0;
            std::memcpy(&bits, &value, sizeof bits);
            value = isSigned ? float(int32_t(bits)) : float(bits);
        }
    } else {
        glGetTexImage(GL_TEXTURE_2D, 0, GL_RGBA, GL_FLOAT, readBack_.data());
    }
    glBindTexture(GL_TEXTURE_2D, GLuint(previous2D));
    glBindBuffer(GL_PIXEL_PACK_BUFFER, GLuint(previousPackBuffer));
    readBackWidth_ = width_;
    readBackHeight_ = height_;
    return readBack_;
}

float RenderTarget::readBackValue(int x, int y, int component) const
{
    if (x < 0 || y < 0 || x >= readBackWidth_ || y >= readBackHeight_ || component < 0 || component > 3)
        return 0.0f;
    return readBack_[(std::size_t(x) + std::size_t(y) * std::size_t(readBackWidth_)) * 4 + std::size_t(component)];
}

bool RenderTarget::upload(const void* pixels, std::size_t byteCount, GLenum format, GLenum type)
{
    const std::size_t pixelBytes = componentCount(format) * componentBytes(type);
    if (!colorTexture_ || !pixels || pixelBytes == 0)
        return false;
    if (byteCount < std::size_t(width_) * std::size_t(height_) * pixelBytes)
        return false;
    // Borrowed: a texture item may have bound unit 0 for a later draw.
    GLint previousUnit = 0;
    glGetIntegerv(GL_ACTIVE_TEXTURE, &previousUnit);
    glActiveTexture(GL_TEXTURE0);
    GLint previous2D = 0;
    glGetIntegerv(GL_TEXTURE_BINDING_2D, &previous2D);
    glBindTexture(GL_TEXTURE_2D, colorTexture_);
    GLint previousAlignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &previousAlignment);
    GLint previousUnpackBuffer = 0;
    glGetIntegerv(GL_PIXEL_UNPACK_BUFFER_BINDING, &previousUnpackBuffer);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, 0);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    glTexSubImage2D(GL_TEXTURE_2D, 0, 0, 0, width_, height_, format, type, pixels);
    glPixelStorei(GL_UNPACK_ALIGNMENT, previousAlignment);
    glBindBuffer(GL_PIXEL_UNPACK_BUFFER, GLuint(previousUnpackBuffer));
    glBindTexture(GL_TEXTURE_2D, GLuint(previous2D));
    glActiveTexture(GLenum(previousUnit));
    return true;
}

bool RenderTarget::seedFrom(GLuint sourceFramebuffer, int attachment, int sourceWidth, int sourceHeight)
{
    if (!framebuffer_ || !complete_ || attachment < 0 || attachment > 2)
        return false;
    const FramebufferBindings previous(stack_->binding);
    stack_->binding.bind(GL_DRAW_FRAMEBUFFER, framebuffer_);
    stack_->binding.bind(GL_READ_FRAMEBUFFER, sourceFramebuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0 + GLenum(attachment));
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glBlitFramebuffer(0, 0, sourceWidth, sourceHeight, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    if (multisample_ && multisampleFramebuffer_) {
        // The children draw into the multisample image, which unbind()
        // resolves over the texture: the seed has to be there. A blit into
        // a multisample framebuffer must keep the size, hence two steps.
        stack_->binding.bind(GL_READ_FRAMEBUFFER, framebuffer_);
        stack_->binding.bind(GL_DRAW_FRAMEBUFFER, multisampleFramebuffer_);
        glReadBuffer(GL_COLOR_ATTACHMENT0);
        glDrawBuffer(GL_COLOR_ATTACHMENT0);
        glBlitFramebuffer(0, 0, width_, height_, 0, 0, width_, height_, GL_COLOR_BUFFER_BIT, GL_NEAREST);
    }
    previous.restore();
    return true;
}
