#include "platform/FrameWriter.h"

#include "platform/Clock.h"

#include <algorithm>

namespace platform {

namespace {

double msSince(int64_t startNs)
{
    return double(steadyNanoseconds() - startNs) / 1e6;
}

} // namespace

FrameWriter::FrameWriter(int threads, int waiting, Write write)
    : write_(std::move(write))
    , waiting_(size_t(std::max(1, waiting)))
{
    for (int i = 0; i < std::max(1, threads); ++i)
        threads_.emplace_back([this] { work(); });
}

FrameWriter::~FrameWriter()
{
    finish();
}

std::vector<uint8_t> FrameWriter::takeBuffer(size_t bytes)
{
    std::vector<uint8_t> buffer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!spare_.empty()) {
            buffer = std::move(spare_.back());
            spare_.pop_back();
        }
    }
    buffer.resize(bytes);
    return buffer;
}

void FrameWriter::submit(int index, std::vector<uint8_t> pixels)
{
    const int64_t start = steadyNanoseconds();
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return queue_.size() < waiting_ || !error_.empty() || threads_.empty(); });
    waitedMs_ += msSince(start);
    if (!error_.empty() || threads_.empty())
        return;
    queue_.push_back(Frame{index, std::move(pixels)});
    changed_.notify_all();
}

bool FrameWriter::finish()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
        changed_.notify_all();
    }
    for (std::thread& t : threads_)
        t.join();
    std::lock_guard<std::mutex> lock(mutex_);
    threads_.clear();
    changed_.notify_all();
    return error_.empty();
}

bool FrameWriter::failed() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return !error_.empty();
}

std::string FrameWriter::error() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

double FrameWriter::busyMs() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return busyMs_;
}

double FrameWriter::waitedMs() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return waitedMs_;
}

void FrameWriter::work()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return !queue_.empty() || stopping_; });
        if (queue_.empty())
            return; // stopping, and everything handed over is written
        Frame frame = std::move(queue_.front());
        queue_.pop_front();
        const bool skip = !error_.empty();
        changed_.notify_all();
        lock.unlock();

        const int64_t start = steadyNanoseconds();
        std::string failure;
        const bool written = skip || write_(frame.index, frame.pixels, failure);
        const double spent = msSince(start);

        lock.lock();
        busyMs_ += spent;
        if (!written && error_.empty())
            error_ = failure.empty() ? "cannot write frame " + std::to_string(frame.index) : failure;
        spare_.push_back(std::move(frame.pixels));
        changed_.notify_all();
    }
}

} // namespace platform
