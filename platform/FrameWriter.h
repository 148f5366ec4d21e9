#pragma once
// Captured frames on their way out, written off the render thread. The
// render thread fills a buffer and hands it over; worker threads write each
// frame (encode it to a file of its own, or push it down a pipe) and give
// the buffer back for the next one. Only a few frames may wait, so memory
// stays bounded and the render thread slows to the writers' pace instead of
// racing ahead of them.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace platform {

class FrameWriter {
public:
    // Writes frame index from pixels; false, with one line in error, when it
    // cannot. Called on the worker threads.
    using Write = std::function<bool(int index, const std::vector<uint8_t>& pixels, std::string& error)>;

    // threads: one keeps the frames in the order they came (a pipe); more
    // write files side by side. waiting: how many frames may wait for a
    // thread before submit() blocks (at least 1).
    FrameWriter(int threads, int waiting, Write write);
    // Finishes first.
    ~FrameWriter();
    FrameWriter(const FrameWriter&) = delete;
    FrameWriter& operator=(const FrameWriter&) = delete;

    // A buffer of bytes for the next frame: a written frame's, else a new one.
    std::vector<uint8_t> takeBuffer(size_t bytes);
    // Hands frame index over; blocks while `waiting` frames wait. Once a
    // write has failed, frames are dropped at once.
    void submit(int index, std::vector<uint8_t> pixels);
    // Waits until every frame handed over has been written and stops the
    // threads. True when all of them were written.
    bool finish();

    bool failed() const;
    // The first failure's line; empty while none.
    std::string error() const;
    // Milliseconds the threads spent writing, all threads together.
    double busyMs() const;
    // Milliseconds submit() spent waiting for room.
    double waitedMs() const;

private:
    struct Frame {
        int index;
        std::vector<uint8_t> pixels;
    };
    void work();

    const Write write_;
    const size_t waiting_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Frame> queue_;
    std::vector<std::vector<uint8_t>> spare_;
    std::vector<std::thread> threads_;
    bool stopping_ = false;
    std::string error_;
    double busyMs_ = 0.0;
    double waitedMs_ = 0.0;
};

} // namespace platform
