// Demos that misbehave against our sync editor: garbage, names of every
// length, indices the editor never saw, commands cut off, floods, and demos
// that never greet or never read. The editor keeps or drops the link, never
// crashes, and no turn of its event loop takes 250 ms.
#include "support/QtTestApp.h"
#include "support/RawDemoPeer.h"
#include "tracker/lib/TrackerSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QTimer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <ctime>
#include <random>
#include <string>

#include <sys/socket.h>

using namespace tracker;

namespace {

const std::string greeting = "hello, synctracker!";
constexpr qint64 kLongestTurnMs = 250;
// Wall time between two turns: a wait inside a handler, not a busy machine.
constexpr qint64 kLongestWaitMs = 3000;

std::string named(char cmd, uint32_t field, const std::string& name)
{
    return std::string(1, cmd) + RawDemoPeer::be32(field) + RawDemoPeer::be32(uint32_t(name.size())) + name;
}

// The longest time the event loop went without turning while it was
// served: a timer ticks every 10 ms, and a handler that holds the loop up
// shows as a long gap between ticks. The gap is counted in the GUI thread's
// CPU time, so a busy machine that preempts the test does not look like a
// handler at work; a handler that waits (a blocking send) shows in the wall
// time, which gets a bound of its own.
class TurnWatch {
public:
    TurnWatch()
    {
        tick_.setInterval(10);
        QObject::connect(&tick_, &QTimer::timeout, [this] {
            const double cpu = threadCpuMs();
            longest_ = std::max(longest_, qint64(cpu - lastCpuMs_));
            lastCpuMs_ = cpu;
            longestWall_ = std::max(longestWall_, since_.restart());
        });
    }
    void start()
    {
        lastCpuMs_ = threadCpuMs();
        since_.start();
        tick_.start();
    }
    // Milliseconds of the GUI thread's work between two turns.
    qint64 longest() const { return longest_; }
    qint64 longestWall() const { return longestWall_; }

private:
    static double threadCpuMs()
    {
        timespec t{};
        clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
        return double(t.tv_sec) * 1e3 + double(t.tv_nsec) * 1e-6;
    }

    QTimer tick_;
    QElapsedTimer since_;
    double lastCpuMs_ = 0.0;
    qint64 longest_ = 0;
    qint64 longestWall_ = 0;
};

class HostileDemoTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureQtApp();
        ASSERT_TRUE(dir_.isValid());
        ASSERT_EQ(server_.listen(0), SyncServer::ListenResult::Listening);
        session_.setDemoDir(dir_.path());
        session_.openProject(dir_.filePath(QStringLiteral("project.rocket")));
    }
    // The greeting, then the cursor's row, which a demo gets as it connects.
    bool greet(RawDemoPeer& peer)
    {
        peer.send(greeting);
        return peer.read(17).compare(0, 13, "hello, demo!\x03") == 0;
    }

    QTemporaryDir dir_;
    TrackerModel model_;
    SyncServer server_;
    TrackerSession session_{model_, server_};
    TurnWatch watch_;
};

} // namespace

TEST_F(HostileDemoTest, GarbageOfEveryKindDropsTheDemoAndTheNextOneIsServed)
{
    std::mt19937 rng(21);
    int dropped = 0;
    watch_.start();
    for (int round = 0; round < 30; ++round) {
        RawDemoPeer peer(server_.port());
        ASSERT_TRUE(peer.connected());
        ASSERT_TRUE(greet(peer));
        // Commands a demo sends, with any fields and names, and stray bytes.
        std::string bytes;
        for (int i = 0; i < 200; ++i) {
            const std::string name(rng() % 40, char('a' + rng() % 26));
            switch (rng() % 6) {
            case 0: bytes += named(2, rng(), name); break;                // GET_TRACK, any index
            case 1: bytes += std::string(1, '\x03') + RawDemoPeer::be32(rng()); break; // SET_ROW
            case 2: bytes += named(char(6 + (rng() % 3) * 2), rng(), name); break; // FIND, FIND_SKENE, FIRST_VALUE
            case 3: bytes += named(7, rng(), name); break;                // SET_TRACK_VALUE, any bits
            case 4: bytes += std::string(1, '\x09'); break;               // SAVE_ALL
            default: bytes += char(rng()); break;
            }
        }
        peer.send(bytes, 1 + rng() % 64);
        waitUntil([&] { return !server_.hasDemo(); }, 300);
        dropped += server_.hasDemo() ? 0 : 1;
    }
    EXPECT_GT(dropped, 20);
    EXPECT_LT(watch_.longest(), kLongestTurnMs);
    EXPECT_LT(watch_.longestWall(), kLongestWaitMs);
    RawDemoPeer last(server_.port());
    EXPECT_TRUE(greet(last));
}

TEST_F(HostileDemoTest, NamesUpToTheLimitAreTakenAndLongerClaimsDropped)
{
    watch_.start();
    {
        RawDemoPeer peer(server_.port());
        ASSERT_TRUE(greet(peer));
        const std::string longest(max_track_name_bytes, 'n');
        peer.send(named(2, 0xffffffffu, longest) + named(2, 7, ""), 64 * 1024);
        ASSERT_TRUE(waitUntil([&] { return model_.trackCount() == 2; }));
        // The editor answers for the index the demo gave, however odd.
        EXPECT_EQ(peer.read(10), std::string("\x0d", 1) + RawDemoPeer::be32(0xffffffffu) + std::string("\x0d", 1)
                                     + RawDemoPeer::be32(7));
    }
    // Both, the empty name too, survive the project file.
    ASSERT_TRUE(session_.saveProject());
    TrackerModel reopened;
    ASSERT_EQ(loadProject(dir_.filePath(QStringLiteral("project.rocket")), reopened).status, LoadResult::Loaded);
    EXPECT_EQ(reopened.trackCount(), 2);

    RawDemoPeer claim(server_.port());
    ASSERT_TRUE(waitUntil([&] { return !server_.hasDemo(); }));
    ASSERT_TRUE(greet(claim));
    claim.send(std::string(1, '\x02') + RawDemoPeer::be32(0) + RawDemoPeer::be32(max_track_name_bytes + 1));
    EXPECT_TRUE(claim.closedByEditor());
    EXPECT_LT(watch_.longest(), kLongestTurnMs);
    EXPECT_LT(watch_.longestWall(), kLongestWaitMs);
}

TEST_F(HostileDemoTest, ACommandCutOffKeepsTheLinkUntilItsRestComes)
{
    watch_.start();
    RawDemoPeer peer(server_.port());
    ASSERT_TRUE(greet(peer));
    const std::string request = named(2, 3, "cut.track");
    peer.send(request.substr(0, 11));
    waitUntil([] { return false; }, 300);
    EXPECT_TRUE(server_.hasDemo());
    EXPECT_EQ(model_.findTrack("cut.track"), -1);
    peer.send(request.substr(11));
    EXPECT_TRUE(waitUntil([&] { return model_.findTrack("cut.track") >= 0; }));
    EXPECT_LT(watch_.longest(), kLongestTurnMs);
    EXPECT_LT(watch_.longestWall(), kLongestWaitMs);
}

TEST_F(HostileDemoTest, AFloodOfNewTracksNeverHoldsTheEditorUp)
{
    RawDemoPeer peer(server_.port());
    ASSERT_TRUE(greet(peer));
    std::string flood;
    const int tracks = 20000;
    for (int i = 0; i < tracks; ++i)
        flood += named(2, uint32_t(i), "flood.group" + std::to_string(i % 97) + ".t" + std::to_string(i));
    watch_.start();
    peer.send(flood, 256 * 1024);
    EXPECT_TRUE(waitUntil([&] { return model_.trackCount() == tracks; }, 60000));
    EXPECT_TRUE(server_.hasDemo());
    EXPECT_LT(watch_.longest(), kLongestTurnMs);
    EXPECT_LT(watch_.longestWall(), kLongestWaitMs);
}

TEST_F(HostileDemoTest, ADemoThatNeverReadsIsDroppedBeforeItsAnswersFillTheMemory)
{
    // A track whose answer is large; the demo asks for it again and again.
    std::vector<TrackKey> keys;
    for (int32_t r = 0; r < 20000; ++r)
        keys.push_back({r, float(r), 1});
    model_.replaceKeys(model_.addTrack("big.track"), keys.data(), int(keys.size()));

    RawDemoPeer peer(server_.port());
    ASSERT_TRUE(greet(peer));
    const int small = 4096;
    ::setsockopt(peer.fd(), SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    const std::string ask = named(2, 0, "big.track");
    std::string asks;
    for (int i = 0; i < 400; ++i) // 400 answers of 280 kB: more than the editor keeps
        asks += ask;
    watch_.start();
    peer.send(asks);
    EXPECT_TRUE(waitUntil([&] { return !server_.hasDemo(); }, 30000));
    EXPECT_LT(watch_.longest(), kLongestTurnMs);
    EXPECT_LT(watch_.longestWall(), kLongestWaitMs);
}

TEST_F(HostileDemoTest, ADemoThatNeverGreetsMakesWayForTheNext)
{
    server_.setGreetingTimeout(100);
    watch_.start();
    RawDemoPeer silent(server_.port());
    ASSERT_TRUE(silent.connected());
    RawDemoPeer next(server_.port());
    next.send(greeting);
    // The silent one is dropped after its timeout; the next one is served.
    EXPECT_EQ(next.read(12, 5000), "hello, demo!");
    EXPECT_TRUE(silent.closedByEditor());
    EXPECT_LT(watch_.longest(), kLongestTurnMs);
    EXPECT_LT(watch_.longestWall(), kLongestWaitMs);
}
