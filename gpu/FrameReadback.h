#pragma once
// Rendered frames read back from the GPU without stalling on each one: a
// frame is copied, turned top row first and converted to 8-bit RGB, into
// one of a few pixel buffers, and taken out once its copy is done, while
// the next frames render.
//
// Needs the GL context current in every call, the destructor included. The
// bindings it touches are put back as it found them.
#include <cstddef>
#include <cstdint>
#include <vector>

class FrameReadback {
public:
    // Frames of width x height pixels; at most `depth` copies under way.
    FrameReadback(int width, int height, int depth);
    ~FrameReadback();
    FrameReadback(const FrameReadback&) = delete;
    FrameReadback& operator=(const FrameReadback&) = delete;

    int width() const { return width_; }
    int height() const { return height_; }
    // Bytes of one frame: width * height * 3.
    size_t frameBytes() const { return size_t(width_) * size_t(height_) * 3; }

    // Starts copying the width x height pixels at the lower left of colour
    // attachment 0 of framebuffer, which must not be multisampled (GL
    // cannot turn an image over while it resolves samples). False when a
    // copy has to be taken first (depth copies under way) or the GL objects
    // could not be made.
    bool queue(unsigned framebuffer);
    // Copies under way.
    int pending() const { return int(queued_.size()); }
    bool full() const { return pending() >= depth_; }

    // Waits for the oldest copy and writes its frameBytes() to out, the top
    // row first. False when no copy is under way.
    bool takeOldest(uint8_t* out);

private:
    bool create();

    struct Slot {
        unsigned buffer = 0;
        void* done = nullptr; // the copy's fence (a GLsync)
    };
    int width_;
    int height_;
    int depth_;
    bool created_ = false;
    bool usable_ = false;
    unsigned framebuffer_ = 0; // the 8-bit image the copies are read from
    unsigned renderbuffer_ = 0;
    std::vector<Slot> slots_;
    std::vector<int> queued_; // slot indices, oldest first
    int next_ = 0;
};
