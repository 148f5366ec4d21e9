// Sync editors that misbehave: garbage, indices the demo never announced,
// commands cut off in the middle, floods, and editors that accept and never
// answer or never read. The demo keeps or drops the link, never crashes,
// and no frame (the rocket manager's per-frame update) takes 250 ms.
#include "state/ActiveSkeneList.h"
#include "sync/Rocket.h"

#include "support/FreshState.h"
#include "support/SyncEditorPeer.h"

#include <QLoggingCategory>
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;
constexpr auto kLongestFrame = std::chrono::milliseconds(250);

// Listens on 127.0.0.1 and hands each connection it accepts to a
// behaviour, one at a time, on a thread of its own. The behaviour returns
// when it is done with the connection (which is then closed) or when stop
// is set.
class HostileEditor {
public:
    using Behaviour = std::function<void(int fd, const std::atomic<bool>& stop)>;

    explicit HostileEditor(Behaviour behaviour)
        : behaviour_(std::move(behaviour))
    {
        listen_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(listen_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(listen_, 8) == 0
            && ::getsockname(listen_, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port_ = ntohs(a.sin_port);
        thread_ = std::thread([this] { run(); });
    }
    ~HostileEditor()
    {
        stop_ = true;
        thread_.join();
        ::close(listen_);
    }
    uint16_t port() const { return port_; }

    // Reads the demo's greeting and answers it; false when it did not come.
    static bool greet(int fd)
    {
        char hello[19];
        size_t got = 0;
        while (got < sizeof hello) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 2000) != 1)
                return false;
            const ssize_t n = ::recv(fd, hello + got, sizeof hello - got, 0);
            if (n <= 0)
                return false;
            got += size_t(n);
        }
        return std::memcmp(hello, "hello, synctracker!", 19) == 0 && sendAll(fd, "hello, demo!");
    }
    // False when the demo is gone, or stop was set while the demo took
    // nothing.
    static bool sendAll(int fd, const std::string& bytes, const std::atomic<bool>* stop = nullptr)
    {
        size_t done = 0;
        while (done < bytes.size()) {
            const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
            if (n > 0) {
                done += size_t(n);
                continue;
            }
            if (n == 0 || (errno != EAGAIN && errno != EINTR) || (stop && *stop))
                return false;
            pollfd p{fd, POLLOUT, 0};
            ::poll(&p, 1, 10);
        }
        return true;
    }
    // Waits until stop is set or the demo closes the connection.
    static void idle(int fd, const std::atomic<bool>& stop, bool read)
    {
        while (!stop) {
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 10) != 1 || !read)
                continue;
            char sink[4096];
            if (::recv(fd, sink, sizeof sink, MSG_DONTWAIT) == 0)
                return;
        }
    }

private:
    void run()
    {
        while (!stop_) {
            pollfd p{listen_, POLLIN, 0};
            if (::poll(&p, 1, 10) != 1)
                continue;
            const int fd = ::accept4(listen_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0)
                continue;
            behaviour_(fd, stop_);
            ::close(fd);
        }
    }

    Behaviour behaviour_;
    int listen_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

struct HostileEditorTest : FreshStateTest {
    // A flood would put a debug line per key on the test's output.
    HostileEditorTest() { QLoggingCategory::setFilterRules(QStringLiteral("default.debug=false")); }
    ~HostileEditorTest() override { QLoggingCategory::setFilterRules(QString()); }

    // The demo's rocket 1 for skene "s", talking to the editor at port.
    Rocket& demoFor(uint16_t port)
    {
        Rocket& rocket = Rocket::instance();
        rocket.set_base_port(port - 1);
        activeSkeneList().entries = {{"s", 1}};
        EXPECT_TRUE(rocket.create_rocket(true, port));
        return rocket;
    }
    // One frame's sync work, timed.
    void frame(Rocket& rocket)
    {
        const auto start = Clock::now();
        rocket.update();
        longest = std::max(longest, Clock::now() - start);
    }
    Clock::duration longest{};
};

uint32_t fakeNow = 0;
uint32_t fakeClock()
{
    return fakeNow;
}

// Editor commands with random fields, now and then a stray byte: indices
// past the announced tracks, rows and types of every kind.
std::string randomStream(std::mt19937& rng, size_t commands)
{
    std::string out;
    for (size_t i = 0; i < commands; ++i) {
        const uint32_t track = rng() % 8 == 0 ? rng() : rng() % 3;
        switch (rng() % 9) {
        case 0:
            out += SyncEditorPeer::setKeyBytes(track, int32_t(rng()), float(rng() % 1000) / 7.0f, uint8_t(rng()));
            break;
        case 1:
            out += SyncEditorPeer::deleteKeyBytes(track, int32_t(rng() % 64));
            break;
        case 2:
            out += SyncEditorPeer::setRowBytes(int32_t(rng()));
            break;
        case 3:
            out += SyncEditorPeer::pauseBytes(uint8_t(rng()), int32_t(rng()));
            break;
        case 4:
            out += SyncEditorPeer::setNoKeyBytes(track);
            break;
        case 5:
            out += char(rng() % 2 ? 8 : 14); // MAKE_MASTER, DATA_RECEIVED_ALL
            break;
        case 6:
            out += char(11); // DEFERRED_PURGE
            break;
        case 7:
            out += SyncEditorPeer::setKeyBytes(track, int32_t(rng() % 64), 1.0f, 1);
            break;
        default:
            out += char(rng()); // anything at all
            break;
        }
    }
    return out;
}

} // namespace

TEST_F(HostileEditorTest, GarbageAndUnannouncedIndicesDropTheLinkAndNothingElse)
{
    std::mutex m;
    std::string next; // what the editor sends on its next connection
    HostileEditor editor([&](int fd, const std::atomic<bool>& stop) {
        std::string bytes;
        {
            std::lock_guard<std::mutex> lock(m);
            bytes = next;
        }
        if (HostileEditor::greet(fd) && HostileEditor::sendAll(fd, bytes))
            HostileEditor::idle(fd, stop, true);
    });
    SyncDevice* device = sync_create_device("sync", 1);
    for (int t = 0; t < 3; ++t)
        sync_get_track(device, ("s.t" + std::to_string(t)).c_str(), 1);

    std::mt19937 rng(21);
    int drops = 0;
    for (int stream = 0; stream < 40; ++stream) {
        {
            std::lock_guard<std::mutex> lock(m);
            next = randomStream(rng, 1 + rng() % 400);
        }
        int connected = 1;
        for (int attempt = 0; attempt < 20 && connected != 0; ++attempt)
            connected = sync_tcp_connect(device, "localhost", editor.port());
        ASSERT_EQ(connected, 0);
        // Frames until the demo has had all of it (or dropped the link).
        for (int f = 0; f < 50 && device->socket >= 0; ++f) {
            int changed = 0, activity = 0;
            const auto start = Clock::now();
            drops += sync_update(device, f, editor.port(), &changed, &activity);
            longest = std::max(longest, Clock::now() - start);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    }
    EXPECT_GT(drops, 10);
    EXPECT_LT(longest, kLongestFrame);
    // The tracks come through every drop in order.
    for (int t = 0; t < 3; ++t) {
        const SyncTrack* track = device->tracks.tracks[t];
        for (int k = 1; k < track->num_keys; ++k)
            ASSERT_LT(track->keys[k - 1].row, track->keys[k].row);
    }
    sync_destroy_device(device);
}

TEST_F(HostileEditorTest, ACommandCutOffIsWaitedForWithoutStallingAndThenDropped)
{
    HostileEditor editor([](int fd, const std::atomic<bool>& stop) {
        if (HostileEditor::greet(fd) && HostileEditor::sendAll(fd, SyncEditorPeer::setKeyBytes(0, 5, 1.0f, 0).substr(0, 7)))
            HostileEditor::idle(fd, stop, true);
    });
    Rocket& rocket = demoFor(editor.port());
    SyncDevice* device = rocket.device(1);
    device->clock_ms = fakeClock;
    ASSERT_NE(rocket.GetSyncTrack("s.x"), nullptr);
    for (int f = 0; f < 2000 && device->inbox_end < 7; ++f) {
        frame(rocket);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_EQ(device->inbox_end, 7u);
    for (int f = 0; f < 20; ++f)
        frame(rocket);
    EXPECT_GE(device->socket, 0); // kept while the rest may still come
    fakeNow += sync_stall_timeout_ms + 1;
    frame(rocket);
    // Dropped with its cut-off command; the editor still listens, so the
    // demo may be connected to it again within the same frame.
    EXPECT_EQ(device->inbox_end, 0u);
    EXPECT_EQ(device->partial_waiting, 0);
    EXPECT_LT(longest, kLongestFrame);
}

TEST_F(HostileEditorTest, AFloodIsSpreadOverFramesAndCutAtTheKeyLimit)
{
    HostileEditor editor([](int fd, const std::atomic<bool>& stop) {
        if (!HostileEditor::greet(fd))
            return;
        // Ascending rows, so the demo's work per key stays small and the
        // flood reaches the limit quickly.
        std::string chunk;
        for (int32_t row = 0; !stop;) {
            chunk.clear();
            for (int i = 0; i < 4096; ++i)
                chunk += SyncEditorPeer::setKeyBytes(0, row++, 1.0f, 1);
            if (!HostileEditor::sendAll(fd, chunk, &stop))
                return;
        }
    });
    Rocket& rocket = demoFor(editor.port());
    SyncDevice* device = rocket.device(1);
    SyncTrack* track = rocket.GetSyncTrack("s.x");
    ASSERT_NE(track, nullptr);
    // Bounded by time, not by frames: a frame with nothing waiting is quick,
    // and a slow peer (a sanitized build on a busy machine) may need many.
    int frames = 0;
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    for (; device->socket >= 0 && Clock::now() < deadline; ++frames)
        frame(rocket);
    EXPECT_EQ(device->socket, -1);
    EXPECT_EQ(track->num_keys, sync_max_track_keys);
    EXPECT_GT(frames, 1); // not in one go
    EXPECT_LT(longest, kLongestFrame);
}

TEST_F(HostileEditorTest, AnEditorThatNeverAnswersCostsTheFramesNothing)
{
    HostileEditor editor([](int fd, const std::atomic<bool>& stop) { HostileEditor::idle(fd, stop, false); });
    fakeNow = 100000;
    Rocket& rocket = demoFor(editor.port()); // start-up's attempt, bounded and over
    SyncDevice* device = rocket.device(1);
    device->clock_ms = fakeClock;
    device->retry_at_ms = fakeNow + sync_retry_interval_ms;

    for (int f = 0; f < 50; ++f)
        frame(rocket);
    EXPECT_EQ(device->attempt_socket, -1); // not before its time
    fakeNow += sync_retry_interval_ms;
    frame(rocket);
    EXPECT_GE(device->attempt_socket, 0);
    for (int f = 0; f < 50; ++f) {
        fakeNow += sync_poll_greeting_timeout_ms / 50;
        frame(rocket);
    }
    EXPECT_GE(device->attempt_socket, 0); // still waiting for the greeting
    EXPECT_EQ(device->socket, -1);
    fakeNow += 1;
    frame(rocket);
    EXPECT_EQ(device->attempt_socket, -1); // given up; the next waits a second
    EXPECT_EQ(device->retry_at_ms, fakeNow + sync_retry_interval_ms);
    EXPECT_LT(longest, kLongestFrame);
}

TEST_F(HostileEditorTest, AnEditorThatNeverReadsCostsOneSendTimeout)
{
    HostileEditor editor([](int fd, const std::atomic<bool>& stop) {
        if (HostileEditor::greet(fd))
            HostileEditor::idle(fd, stop, false);
    });
    Rocket& rocket = demoFor(editor.port());
    SyncDevice* device = rocket.device(1);
    ASSERT_GE(device->socket, 0);
    // Requests for tracks with long names fill the socket (some 10 MB on
    // loopback); the sends wait for room until the time is used up.
    const std::string tail(64 * 1024, 'n');
    for (int t = 0; t < 200; ++t)
        ASSERT_NE(rocket.GetSyncTrack("s." + std::to_string(t) + tail), nullptr);
    EXPECT_LE(device->send_wait_left_ms, 0);
    // From then on a send fails at once, and the next frame drops the link.
    const int left = device->send_wait_left_ms;
    EXPECT_EQ(send_find_track(device, "s.0", 0), 1);
    EXPECT_EQ(device->send_wait_left_ms, left);
    frame(rocket);
    EXPECT_EQ(device->socket, -1);
}
