#pragma once
// An off-screen colour texture with its framebuffer, that effects render
// into between bind() and unbind(). A multisample target renders into a
// multisample framebuffer, which unbind() resolves into the texture. Targets
// nest through one process-wide stack: unbinding the innermost returns to the
// one around it, and unbinding the last returns to the framebuffer and
// viewport that were in force when the first was bound (in a frame, the
// demo's offscreen framebuffer at the render size). Every framebuffer a
// target binds goes through the stack's FramebufferBinding, so the draw
// items know what is bound.
//
// Everything here needs the GL context current. The object owns its GL names
// but does not delete them when it dies: registry entries live as long as
// the context, and the GPU resources that own the registry release them
// (gpu/GpuResources.h). release() deletes them explicitly before a
// re-creation.
#include <GL/glew.h>

#include "gpu/FramebufferBinding.h"

#include <cstddef>
#include <vector>

// What unbind() goes back to: per bound target its framebuffers, whether it
// is multisample, and its size.
struct RenderTargetStackEntry {
    GLuint framebuffer = 0;
    GLuint multisampleFramebuffer = 0;
    bool multisample = false;
    int width = 0;
    int height = 0;
};

struct RenderTargetStack {
    explicit RenderTargetStack(FramebufferBinding& framebufferBinding)
        : binding(framebufferBinding)
    {
    }
    RenderTargetStack(const RenderTargetStack&) = delete;
    RenderTargetStack& operator=(const RenderTargetStack&) = delete;

    FramebufferBinding& binding;
    std::vector<RenderTargetStackEntry> entries; // last one on top
    // Taken when the first target is bound onto an empty stack.
    GLint outerFramebuffer = 0;
    GLint outerViewport[4] = {0, 0, 0, 0};
    // A framebuffer without attachments, for what was meant for a target
    // that cannot be drawn into; made at its first use.
    GLuint nowhere = 0;
};

// Binds a framebuffer that draws go nowhere into (no attachments: draws,
// clears and draw-buffer choices are valid and change nothing) and pushes it
// like a target, so that the children of a render target item that has no
// usable target still run without drawing over the picture around it.
void bindNowhere(RenderTargetStack& stack);
// Pops it and binds what is now on top, as RenderTarget::unbind() does.
// False when the stack is empty.
bool unbindNowhere(RenderTargetStack& stack);
// Deletes the stack's own GL objects (with the context current).
void releaseStack(RenderTargetStack& stack);

// What a target was last asked to be, whether GL could make it or not.
struct RenderTargetSettings {
    GLenum internalFormat = 0;
    int width = 0;
    int height = 0;
    int samples = 1;
    bool operator==(const RenderTargetSettings& o) const
    {
        return internalFormat == o.internalFormat && width == o.width && height == o.height &&
               samples == o.samples;
    }
    bool operator!=(const RenderTargetSettings& o) const { return !(*this == o); }
};

class RenderTarget {
public:
    // A target that nests through stack (it must outlive the target).
    explicit RenderTarget(RenderTargetStack& stack)
        : stack_(&stack)
    {
    }
    RenderTarget(const RenderTarget&) = delete;
    RenderTarget& operator=(const RenderTarget&) = delete;

    // Makes the colour texture, width x height in internalFormat, and for a
    // multisample target also a multisample texture of samples samples.
    // With pixels (width * height RGBA bytes) the texture gets immutable
    // storage filled from them; without, plain storage of undefined content.
    // False, changing nothing, when a texture exists already (release()
    // first) or when the size is below 1 or beyond what GL allows.
    bool create(GLenum internalFormat, int width, int height, const void* pixels, bool multisample, int samples);

    // Makes the framebuffer around the colour texture, and for a multisample
    // target the multisample framebuffer with a colour renderbuffer; with
    // withDepth, a depth renderbuffer of the same sample count goes on the
    // framebuffer that is drawn into. Nothing when the framebuffer exists or
    // there is no texture. An incomplete framebuffer is logged once, here,
    // with its status, and the target then refuses bind() and seedFrom().
    // The framebuffer bindings in force are kept.
    void createFramebuffer(bool withDepth);

    // Deletes every GL object of the target; create() may then make it anew.
    // The read-back buffer stays, with the values of the last read.
    void release();

    // Makes the target the one drawn into, with a viewport of its size, and
    // pushes it on the stack. False (nothing bound, nothing pushed) without
    // a complete framebuffer.
    bool bind();
    // Pops the top of the stack, resolves this target, and binds what is
    // now on top: the next target with its viewport, or, when the stack is
    // empty, the framebuffer and viewport in force before the first bind
    // (with colour attachments 0..2 drawn to, when it is not the default
    // framebuffer). False when the stack is empty.
    bool unbind();
    // Multisample targets: copies the multisample image into the texture and
    // leaves the framebuffer bound. Nothing for other targets.
    void resolve();

    // Reads the texture back as RGBA floats, width * height * 4 values, row
    // by row from the bottom. The buffer is allocated at the first read and
    // kept; only a read after a re-creation at another size allocates again.
    // Integer formats read as their values converted to float.
    const std::vector<float>& readPixels();
    // One value of the last read-back: 0 for a pixel outside the image that
    // was read or a component outside 0..3.
    float readBackValue(int x, int y, int component) const;
    int readBackWidth() const { return readBackWidth_; }
    int readBackHeight() const { return readBackHeight_; }

    // Replaces the whole texture with byteCount bytes of pixels in the given
    // format and type (GL_RED, GL_RG, GL_RGB, GL_RGBA and their _INTEGER
    // forms; GL_UNSIGNED_BYTE, GL_BYTE, GL_HALF_FLOAT, GL_FLOAT,
    // GL_UNSIGNED_INT, GL_INT), rows tightly packed. False, uploading
    // nothing, without a texture, for another format or type, or when
    // byteCount is less than the whole texture needs. The active unit and
    // unit 0's texture are kept.
    bool upload(const void* pixels, std::size_t byteCount, GLenum format, GLenum type);

    // Copies colour attachment `attachment` of sourceFramebuffer, over
    // (0, 0, sourceWidth, sourceHeight), stretched into the texture, and for
    // a multisample target on into the multisample image that is drawn into
    // (and resolved over the texture at unbind). The framebuffer bindings in
    // force are kept. False, copying nothing, without a complete framebuffer
    // or for an attachment outside 0..2.
    bool seedFrom(GLuint sourceFramebuffer, int attachment, int sourceWidth, int sourceHeight);

    GLuint colorTexture() const { return colorTexture_; }
    GLuint framebuffer() const { return framebuffer_; }
    GLuint multisampleFramebuffer() const { return multisampleFramebuffer_; }
    GLuint multisampleTexture() const { return multisampleTexture_; }
    GLuint depthRenderbuffer() const { return depthRenderbuffer_; }
    int width() const { return width_; }
    int height() const { return height_; }
    GLenum internalFormat() const { return internalFormat_; }
    bool multisample() const { return multisample_; }
    // The sample count asked for at creation (the GL objects may have
    // fewer, when the driver offers no more).
    int samples() const { return samples_; }
    bool complete() const { return complete_; }

    // --- Kept for the render target items (items/RenderTargetQML.h) ---
    // The settings create() was last asked for, whether GL could make the
    // target or not: a target that GL refused is not tried again until
    // they change.
    RenderTargetSettings asked;
    // The layer that named the target last and the frame it did so in;
    // with two layers of different settings the later one in the frame
    // wins (an opaque pointer, never followed).
    const void* lastLayer = nullptr;
    int lastLayerFrame = -1;
    bool clashLogged = false;

private:
    RenderTargetStack* stack_;
    GLuint colorTexture_ = 0;
    GLuint multisampleTexture_ = 0;
    GLuint multisampleRenderbuffer_ = 0;
    GLuint depthRenderbuffer_ = 0;
    GLuint framebuffer_ = 0;
    GLuint multisampleFramebuffer_ = 0;
    int width_ = 0;
    int height_ = 0;
    GLenum internalFormat_ = 0;
    bool multisample_ = false;
    int samples_ = 1;
    bool complete_ = false;

    std::vector<float> readBack_;
    int readBackWidth_ = 0;
    int readBackHeight_ = 0;
};

