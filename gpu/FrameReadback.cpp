#include <GL/glew.h>

#include "gpu/FrameReadback.h"

#include <algorithm>
#include <cstring>

namespace {

// The bindings a read-back borrows, put back when it is done.
struct BorrowedState {
    GLint readFramebuffer = 0;
    GLint drawFramebuffer = 0;
    GLint readBuffer = 0;
    GLint packBuffer = 0;
    GLint packAlignment = 4;
    GLboolean scissor = GL_FALSE;

    BorrowedState()
    {
        glGetIntegerv(GL_READ_FRAMEBUFFER_BINDING, &readFramebuffer);
        glGetIntegerv(GL_DRAW_FRAMEBUFFER_BINDING, &drawFramebuffer);
        glGetIntegerv(GL_READ_BUFFER, &readBuffer);
        glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &packBuffer);
        glGetIntegerv(GL_PACK_ALIGNMENT, &packAlignment);
        scissor = glIsEnabled(GL_SCISSOR_TEST);
    }
    ~BorrowedState()
    {
        glBindFramebuffer(GL_READ_FRAMEBUFFER, GLuint(readFramebuffer));
        glReadBuffer(GLenum(readBuffer));
        glBindFramebuffer(GL_DRAW_FRAMEBUFFER, GLuint(drawFramebuffer));
        glBindBuffer(GL_PIXEL_PACK_BUFFER, GLuint(packBuffer));
        glPixelStorei(GL_PACK_ALIGNMENT, packAlignment);
        if (scissor)
            glEnable(GL_SCISSOR_TEST);
    }
};

} // namespace

FrameReadback::FrameReadback(int width, int height, int depth)
    : width_(std::max(1, width))
    , height_(std::max(1, height))
    , depth_(std::max(1, depth))
{
}

FrameReadback::~FrameReadback()
{
    for (Slot& slot : slots_) {
        if (slot.done)
            glDeleteSync(GLsync(slot.done));
        glDeleteBuffers(1, &slot.buffer);
    }
    if (framebuffer_)
        glDeleteFramebuffers(1, &framebuffer_);
    if (renderbuffer_)
        glDeleteRenderbuffers(1, &renderbuffer_);
}

bool FrameReadback::create()
{
    GLint previous = 0;
    glGetIntegerv(GL_FRAMEBUFFER_BINDING, &previous);
    glGenRenderbuffers(1, &renderbuffer_);
    glBindRenderbuffer(GL_RENDERBUFFER, renderbuffer_);
    glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width_, height_);
    glBindRenderbuffer(GL_RENDERBUFFER, 0);
    glGenFramebuffers(1, &framebuffer_);
    glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, renderbuffer_);
    const bool complete = glCheckFramebufferStatus(GL_FRAMEBUFFER) == GL_FRAMEBUFFER_COMPLETE;
    glBindFramebuffer(GL_FRAMEBUFFER, GLuint(previous));

    GLint previousPack = 0;
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &previousPack);
    slots_.resize(size_t(depth_));
    for (Slot& slot : slots_) {
        glGenBuffers(1, &slot.buffer);
        glBindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
        glBufferData(GL_PIXEL_PACK_BUFFER, GLsizeiptr(frameBytes()), nullptr, GL_STREAM_READ);
    }
    glBindBuffer(GL_PIXEL_PACK_BUFFER, GLuint(previousPack));
    return complete;
}

bool FrameReadback::queue(unsigned framebuffer)
{
    if (full())
        return false;
    if (!created_) {
        created_ = true;
        usable_ = create();
    }
    if (!usable_)
        return false;
    BorrowedState borrowed;
    glDisable(GL_SCISSOR_TEST);

    // The blit converts to 8 bits and turns the image upside down, so the
    // rows arrive top first as image files want them.
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, framebuffer_);
    glBlitFramebuffer(0, 0, width_, height_, 0, height_, width_, 0, GL_COLOR_BUFFER_BIT, GL_NEAREST);

    Slot& slot = slots_[size_t(next_)];
    glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, nullptr);
    slot.done = glFenceSync(GL_SYNC_GPU_COMMANDS_COMPLETE, 0);
    glFlush();

    queued_.push_back(next_);
    next_ = (next_ + 1) % depth_;
    return true;
}

bool FrameReadback::takeOldest(uint8_t* out)
{
    if (queued_.empty())
        return false;
    Slot& slot = slots_[size_t(queued_.front())];
    queued_.erase(queued_.begin());
    const GLsync done = GLsync(slot.done);
    while (glClientWaitSync(done, GL_SYNC_FLUSH_COMMANDS_BIT, 1000000000) == GL_TIMEOUT_EXPIRED) {
    }
    glDeleteSync(done);
    slot.done = nullptr;

    GLint previousPack = 0;
    glGetIntegerv(GL_PIXEL_PACK_BUFFER_BINDING, &previousPack);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, slot.buffer);
    const void* pixels = glMapBufferRange(GL_PIXEL_PACK_BUFFER, 0, GLsizeiptr(frameBytes()), GL_MAP_READ_BIT);
    if (pixels)
        std::memcpy(out, pixels, frameBytes());
    glUnmapBuffer(GL_PIXEL_PACK_BUFFER);
    glBindBuffer(GL_PIXEL_PACK_BUFFER, GLuint(previousPack));
    return pixels != nullptr;
}
