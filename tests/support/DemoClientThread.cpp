#include "support/DemoClientThread.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <future>

#include <unistd.h>

DemoClientThread::DemoClientThread()
    : device_(sync_create_device("sync", 1))
{
    callbacks_.pause = [](void* p, int flag, int32_t row) {
        static_cast<DemoClientThread*>(p)->pauses.push_back({flag, row});
    };
    callbacks_.set_row = [](void* p, int32_t row) { static_cast<DemoClientThread*>(p)->rowsSet.push_back(row); };
    callbacks_.is_playing = [](void* p) { return static_cast<DemoClientThread*>(p)->playing.load(); };
    sync_set_callbacks(device_, &callbacks_, this);
    thread_ = std::thread([this] { loop(); });
}

DemoClientThread::~DemoClientThread()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    thread_.join();
    sync_destroy_device(device_);
}

void DemoClientThread::loop()
{
    for (;;) {
        std::deque<std::function<void()>> tasks;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            wake_.wait_for(lock, std::chrono::milliseconds(1), [this] { return stop_ || !tasks_.empty(); });
            if (stop_)
                return;
            tasks.swap(tasks_);
        }
        for (auto& task : tasks)
            task();
        // Poll after every batch of tasks too, so a test that keeps asking
        // cannot starve the connection.
        if (device_->socket >= 0) {
            int changed = 0;
            int act = 0;
            const int masterPort = master ? device_->port : device_->port + 1;
            if (sync_update(device_, row.load(), masterPort, &changed, &act) != 0)
                ++dropped;
            activity = std::max(activity, act);
            if (act != 0)
                master = true;
        }
    }
}

bool DemoClientThread::run(const std::function<void(SyncDevice*)>& fn, int timeoutMs)
{
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    post([this, fn, done] {
        fn(device_);
        done->set_value();
    });
    QElapsedTimer t;
    t.start();
    while (finished.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        if (t.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 2);
    }
    return true;
}

void DemoClientThread::post(std::function<void()> task)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        tasks_.push_back(std::move(task));
    }
    wake_.notify_all();
}

namespace {

// An editor that is busy (or serves another demo) lets a greeting wait past
// the client's short timeout; the demo tries again each frame, and so does
// this, for up to about ten seconds.
int connectWithRetries(SyncDevice* device, uint16_t port)
{
    int result = 1;
    for (int attempt = 0; attempt < 50 && result != 0; ++attempt)
        result = sync_tcp_connect(device, "127.0.0.1", port);
    return result;
}

} // namespace

std::future<int> DemoClientThread::connectLater(uint16_t port)
{
    auto result = std::make_shared<std::promise<int>>();
    std::future<int> f = result->get_future();
    post([this, port, result] { result->set_value(connectWithRetries(device_, port)); });
    return f;
}

void DemoClientThread::disconnect()
{
    run([](SyncDevice* d) {
        if (d->socket >= 0)
            ::close(d->socket);
        d->socket = -1;
    });
}

int DemoClientThread::connect(uint16_t port)
{
    int result = 1;
    run([&](SyncDevice* d) { result = connectWithRetries(d, port); }, 15000);
    return result;
}

bool DemoClientThread::waitFor(const std::function<bool(SyncDevice*)>& pred, int timeoutMs)
{
    QElapsedTimer t;
    t.start();
    bool ok = false;
    while (!ok && t.elapsed() < timeoutMs) {
        run([&](SyncDevice* d) { ok = pred(d); });
        if (!ok) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    return ok;
}
