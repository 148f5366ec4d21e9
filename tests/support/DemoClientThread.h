#pragma once
// The demo's own sync client (sync/sync_device) on a thread of its own, for
// testing an editor that runs on this thread's Qt event loop. The client
// blocks where the demo blocks (the greeting, a half-received command), so
// it cannot share a thread with an editor it waits for.
//
// The thread polls the device with sync_update() every millisecond, the way
// the demo does once per frame, and records what the editor made it do.
// run() executes a function on that thread and waits for it while serving
// this thread's events; all reads of the device go through run().
#include "sync/sync_device.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

class DemoClientThread {
public:
    struct Pause {
        int flag;
        int32_t row;
    };

    DemoClientThread();
    ~DemoClientThread();
    DemoClientThread(const DemoClientThread&) = delete;
    DemoClientThread& operator=(const DemoClientThread&) = delete;

    // Runs fn(device) on the client's thread; false when it did not finish
    // within timeoutMs (this thread's Qt events are served meanwhile).
    bool run(const std::function<void(SyncDevice*)>& fn, int timeoutMs = 10000);

    // Connects to the editor on 127.0.0.1:port, trying again for a while
    // when the greeting is not answered in time; 0 when connected.
    int connect(uint16_t port);
    // Starts connecting and returns at once; the future holds what connect()
    // would have returned.
    std::future<int> connectLater(uint16_t port);
    // Closes the connection the way a demo that quits does.
    void disconnect();
    // Serves Qt events until pred (run on the client's thread) holds.
    bool waitFor(const std::function<bool(SyncDevice*)>& pred, int timeoutMs = 5000);

    // What the editor's commands did, in order; read them through run() or
    // after waitFor().
    std::vector<Pause> pauses;
    std::vector<int32_t> rowsSet;
    int activity = 0;       // the highest activity_out seen since the last reset
    int dropped = 0;        // updates that reported the connection gone
    std::atomic<int> playing{0}; // what is_playing answers
    std::atomic<int32_t> row{0}; // the row the demo reports while playing
    // Whether this editor is the demo's master, whose SET_ROW counts. The
    // demo with several editors makes one master when it reports activity,
    // from its next update on; false plays a demo whose master is another.
    std::atomic<bool> master{true};

private:
    void loop();
    void post(std::function<void()> task);

    SyncDevice* device_;
    SyncCallbacks callbacks_{};
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<std::function<void()>> tasks_;
    bool stop_ = false;
    std::thread thread_;
};
