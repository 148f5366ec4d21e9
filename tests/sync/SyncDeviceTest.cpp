#include "sync/sync_device.h"

#include "sync/SyncLog.h"

#include "platform/Files.h"

#include "support/LogCapture.h"
#include "support/SyncEditorPeer.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>


#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <sys/stat.h>

namespace {

using Peer = SyncEditorPeer;

// What the callbacks saw; the device gets a pointer to it as its parameter.
struct Demo {
    int playing = 0;
    std::vector<std::pair<int, int32_t>> pauses;
    std::vector<int32_t> rows;
};

const SyncCallbacks demoCallbacks = {
    [](void* p, int flag, int32_t row) { static_cast<Demo*>(p)->pauses.emplace_back(flag, row); },
    [](void* p, int32_t row) { static_cast<Demo*>(p)->rows.push_back(row); },
    [](void* p) { return static_cast<Demo*>(p)->playing; },
};

// A live device with callbacks, freed with the test.
struct Device {
    SyncDevice* d = sync_create_device("sync", 1);
    Demo demo;
    Device() { sync_set_callbacks(d, &demoCallbacks, &demo); }
    ~Device() { sync_destroy_device(d); }
    SyncDevice* operator->() { return d; }
    int connect(const Peer& peer) { return sync_tcp_connect(d, "localhost", peer.port()); }
    SyncTrack* track(const char* name) { return sync_get_track(d, name, 1); }
    // One update as the master rocket; the outputs start cleared.
    int update(int32_t row, int* changed, int* activity, int masterPort = -1)
    {
        *changed = 0;
        *activity = 0;
        return sync_update(d, row, masterPort < 0 ? d->port : masterPort, changed, activity);
    }
    int update(int32_t row = 0)
    {
        int changed, activity;
        return update(row, &changed, &activity);
    }
};

// Sends a fence that the editor records after everything sent before it:
// when it arrives, every earlier command of the demo has arrived too.
std::vector<Peer::DemoCommand> commandsBeforeFence(Device& dev, Peer& peer)
{
    const size_t before = peer.commands().size();
    EXPECT_EQ(send_save_all(dev.d), 0);
    std::vector<Peer::DemoCommand> all;
    for (int i = 0; i < 500; ++i) {
        all = peer.commands();
        if (!all.empty() && all.back().cmd == SyncCommand::SAVE_ALL && all.size() > before)
            break;
        peer.waitForCommands(all.size() + 1, 10);
    }
    EXPECT_FALSE(all.empty());
    if (!all.empty())
        all.pop_back();
    return all;
}

// Waits until the editor's bytes wait on the demo's socket (bounded). One
// small send from the editor arrives in one piece on loopback.
bool waitReadable(Device& dev, int timeoutMs = 5000)
{
    pollfd p{dev->socket, POLLIN, 0};
    return ::poll(&p, 1, timeoutMs) == 1;
}

// Keeps updating until the editor's bytes have been handled (bounded).
bool updateUntil(Device& dev, const std::function<bool()>& done, int* changed = nullptr, int* activity = nullptr)
{
    int c = 0, a = 0;
    for (int i = 0; i < 500 && !done(); ++i) {
        if (sync_update(dev.d, 0, dev->port, &c, &a) != 0)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (changed)
        *changed = c;
    if (activity)
        *activity = a;
    return done();
}

} // namespace

TEST(SyncConnect, GreetingIsExchangedAndAWrongAnswerRefused)
{
    {
        Peer peer;
        Device dev;
        ASSERT_EQ(dev.connect(peer), 0);
        EXPECT_GE(dev->socket, 0);
        EXPECT_EQ(dev->port, peer.port());
        ASSERT_TRUE(peer.waitForConnections(1));
        EXPECT_EQ(peer.lastGreeting(), "hello, synctracker!");
    }
    for (Peer::Greeting g : {Peer::Greeting::Wrong, Peer::Greeting::Short, Peer::Greeting::Silent}) {
        Peer peer(g);
        Device dev;
        EXPECT_EQ(dev.connect(peer), 1);
        EXPECT_EQ(dev->socket, -1);
        EXPECT_EQ(dev->port, peer.port());
        EXPECT_EQ(dev.update(), 1); // no socket
    }
    uint16_t closedPort;
    {
        Peer gone;
        closedPort = gone.port();
    }
    Device dev;
    EXPECT_EQ(sync_tcp_connect(dev.d, "localhost", closedPort), 1);
    EXPECT_EQ(dev->socket, -1);
    EXPECT_EQ(sync_tcp_connect(dev.d, "no-such-host.invalid", closedPort), 1);
}

TEST(SyncConnect, ASilentEditorIsGivenUpAndLocalhostLookedUpOnce)
{
    // Listens and never accepts: the connection completes in the kernel and
    // the greeting is never answered, as with a hung editor.
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ASSERT_EQ(::listen(listener, 8), 0);
    ASSERT_EQ(::getsockname(listener, reinterpret_cast<sockaddr*>(&a), &len), 0);
    const uint16_t silentPort = ntohs(a.sin_port);

    Device dev;
    EXPECT_EQ(sync_tcp_connect(dev.d, "localhost", silentPort), 1);
    EXPECT_EQ(dev->socket, -1); // marked absent after the one attempt
    EXPECT_EQ(dev.update(), 1);
    const addrinfo* looked = dev->addresses;
    ASSERT_NE(looked, nullptr);
    // The next frames' attempts reuse the addresses.
    EXPECT_EQ(sync_tcp_connect(dev.d, "localhost", silentPort), 1);
    EXPECT_EQ(dev->addresses, looked);
    ::close(listener);

    // Another port is looked up again, and a real editor is reached.
    Peer peer;
    EXPECT_EQ(dev.connect(peer), 0);
    EXPECT_GE(dev->socket, 0);
}

TEST(SyncConnect, EveryReconnectRequestsAllTracksInCreationOrder)
{
    Peer peer;
    Device dev;
    // Created while disconnected: the requests go nowhere, the names stay.
    for (const char* name : {"a.x", "a.y", "b.z"})
        ASSERT_NE(dev.track(name), nullptr);
    SyncTrack* x = dev.track("a.x");
    set_key(x, {1, 2.0f, 0});
    dev.track("a.y")->data_received = 0;

    for (int round = 1; round <= 2; ++round) {
        SCOPED_TRACE(round);
        peer.clearCommands();
        ASSERT_EQ(dev.connect(peer), 0);
        ASSERT_TRUE(peer.waitForCommands(3));
        const auto cmds = peer.commands();
        ASSERT_EQ(cmds.size(), 3u);
        const char* names[] = {"a.x", "a.y", "b.z"};
        for (uint32_t i = 0; i < 3; ++i) {
            EXPECT_EQ(cmds[i].cmd, SyncCommand::GET_TRACK);
            EXPECT_EQ(cmds[i].index, i);
            EXPECT_EQ(cmds[i].name, names[i]);
        }
        EXPECT_EQ(cmds[0].bytes, std::string("\x02\x00\x00\x00\x00\x00\x00\x00\x03" "a.x", 12));
        EXPECT_EQ(x->num_keys, 0); // the editor's keys replace ours
        EXPECT_EQ(x->data_received, 1);
        EXPECT_EQ(dev.track("a.y")->data_received, 0);

        // The editor gives keys again and goes away; the demo keeps them.
        ASSERT_TRUE(peer.sendSetKey(0, 4, 5.0f, 1));
        ASSERT_TRUE(updateUntil(dev, [&] { return x->num_keys == 1; }));
        peer.closeConnection();
        for (int i = 0; i < 500 && dev->socket >= 0; ++i) {
            dev.update();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        EXPECT_EQ(dev->socket, -1);
        EXPECT_EQ(x->num_keys, 1);
        EXPECT_EQ(get_value(x, 9.0), 5.0f);
    }
    EXPECT_EQ(peer.connections(), 2);
}

TEST(SyncConnect, NewTrackIsRequestedOnceWithItsIndex)
{
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    SyncTrack* a = dev.track("s.a");
    SyncTrack* b = dev.track("s.b");
    EXPECT_EQ(dev.track("s.a"), a);
    EXPECT_NE(a, b);
    const auto cmds = commandsBeforeFence(dev, peer);
    ASSERT_EQ(cmds.size(), 2u);
    EXPECT_EQ(cmds[0].name, "s.a");
    EXPECT_EQ(cmds[0].index, 0u);
    EXPECT_EQ(cmds[1].name, "s.b");
    EXPECT_EQ(cmds[1].index, 1u);
}

// The per-key and per-track lines, as -verbose asks for them.
struct TrafficLogOn {
    TrafficLogOn() { QLoggingCategory::setFilterRules(QString::fromLatin1(kSyncTrafficOnRule)); }
    ~TrafficLogOn() { QLoggingCategory::setFilterRules(QString()); }
};

TEST(SyncUpdate, KeyLinesAreWrittenOnlyWhenTheTrafficLogIsAskedFor)
{
    LogCapture log;
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    SyncTrack* a = dev.track("s.a");
    ASSERT_TRUE(peer.sendSetKey(0, 10, 3.0f, 1));
    ASSERT_TRUE(updateUntil(dev, [&] { return a->num_keys == 1; }));
    for (const std::string& line : log.lines())
        EXPECT_EQ(line.find("handle_set_key_cmd"), std::string::npos) << line;
    // The other debug lines stay where they were.
    qDebug("an ordinary line");
    EXPECT_EQ(log.lines().back(), "an ordinary line");
}

TEST(SyncUpdate, KeyCommandsEditTracksAndMarkActivity)
{
    TrafficLogOn traffic;
    LogCapture log;
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    SyncTrack* a = dev.track("s.a");
    SyncTrack* b = dev.track("s.b");

    int changed = 0, activity = 0;
    EXPECT_EQ(dev.update(0, &changed, &activity), 0);
    EXPECT_EQ(changed, 0); // nothing pending: nothing changes
    EXPECT_EQ(activity, 0);

    ASSERT_TRUE(peer.sendSetKey(0, 10, 3.0f, 1));
    ASSERT_TRUE(peer.sendSetKey(0, 0, 1.0f, 1));
    ASSERT_TRUE(updateUntil(dev, [&] { return a->num_keys == 2; }, &changed, &activity));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(activity, 1);
    EXPECT_EQ(a->data_received, 1);
    EXPECT_FLOAT_EQ(get_value(a, 5.0), 2.0f);
    EXPECT_EQ(log.lines().back(), "handle_set_key_cmd for track:s.a");

    ASSERT_TRUE(peer.sendDeleteKey(0, 5)); // no key on row 5: nothing changes
    ASSERT_TRUE(peer.sendDeleteKey(0, 10));
    ASSERT_TRUE(updateUntil(dev, [&] { return a->num_keys == 1; }, &changed, &activity));
    EXPECT_EQ(a->keys[0].row, 0);

    EXPECT_EQ(b->data_received, 0);
    ASSERT_TRUE(peer.sendSetNoKey(1));
    ASSERT_TRUE(updateUntil(dev, [&] { return b->data_received == 1; }, &changed, &activity));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(activity, 1);
    EXPECT_EQ(log.lines().back(), "handle_set_no_key_cmd se track data_received to 1:s.b");
    EXPECT_GE(dev->socket, 0);
}

TEST(SyncUpdate, CursorMovesOnlyFromTheMasterButEveryEditorCountsAsActive)
{
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    const int otherPort = int(dev->port) + 1;

    int changed = 0, activity = 0;
    ASSERT_TRUE(peer.sendRaw(Peer::setRowBytes(42)));
    ASSERT_TRUE(waitReadable(dev));
    EXPECT_EQ(dev.update(0, &changed, &activity, otherPort), 0);
    EXPECT_TRUE(dev.demo.rows.empty());
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(activity, 2);

    // MAKE_MASTER alone makes an editor active without changing anything.
    ASSERT_TRUE(peer.sendMakeMaster());
    ASSERT_TRUE(waitReadable(dev));
    EXPECT_EQ(dev.update(0, &changed, &activity, otherPort), 0);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(activity, 2);

    ASSERT_TRUE(peer.sendSetRow(43));
    ASSERT_TRUE(waitReadable(dev));
    EXPECT_EQ(dev.update(0, &changed, &activity), 0);
    ASSERT_EQ(dev.demo.rows.size(), 1u);
    EXPECT_EQ(dev.demo.rows[0], 43);
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(activity, 2);
}

TEST(SyncUpdate, PauseRowIsLittleEndian)
{
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    ASSERT_TRUE(peer.sendRaw(std::string("\x04\x01\x64\x00\x00\x00", 6)));
    ASSERT_TRUE(peer.sendPause(0, -5));
    int changed = 0, activity = 0;
    ASSERT_TRUE(updateUntil(dev, [&] { return dev.demo.pauses.size() == 2; }, &changed, &activity));
    EXPECT_EQ(dev.demo.pauses[0], std::make_pair(1, 100));
    EXPECT_EQ(dev.demo.pauses[1], std::make_pair(0, -5));
    EXPECT_EQ(changed, 1);
    EXPECT_EQ(activity, 0); // a pause alone does not make an editor the master
}

TEST(SyncUpdate, PlayingRowIsSentOncePerNewRowAndNeverWhilePaused)
{
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    dev.demo.playing = 1;
    for (int32_t row : {5, 5, 6, 6, 6, 7})
        ASSERT_EQ(dev.update(row), 0);
    dev.demo.playing = 0;
    for (int32_t row : {8, 9, 10})
        ASSERT_EQ(dev.update(row), 0);
    dev.demo.playing = 1;
    ASSERT_EQ(dev.update(10), 0);

    const auto cmds = commandsBeforeFence(dev, peer);
    std::vector<int32_t> rows;
    for (const auto& c : cmds) {
        EXPECT_EQ(c.cmd, SyncCommand::SET_ROW);
        rows.push_back(c.number);
    }
    EXPECT_EQ(rows, (std::vector<int32_t>{5, 6, 7, 10}));
    EXPECT_EQ(cmds.back().bytes, std::string("\x03\x00\x00\x00\x0a", 5));

    // Without callbacks nothing asks whether the demo plays.
    sync_set_callbacks(dev.d, nullptr, nullptr);
    peer.clearCommands();
    ASSERT_EQ(dev.update(11), 0);
    EXPECT_TRUE(commandsBeforeFence(dev, peer).empty());
}

TEST(SyncUpdate, CommandSplitAcrossSegmentsIsFinishedByALaterUpdate)
{
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    SyncTrack* a = dev.track("s.a");

    // A burst whose last command has only begun to arrive.
    std::string burst;
    for (int r = 0; r < 300; ++r)
        burst += Peer::setKeyBytes(0, r, float(r), 0);
    const std::string last = Peer::setKeyBytes(0, 1000, 7.5f, 1);
    ASSERT_TRUE(peer.sendRaw(burst + last.substr(0, 3)));
    ASSERT_TRUE(updateUntil(dev, [&] { return a->num_keys >= 300 && dev->inbox_end - dev->inbox_begin == 3; }));
    // The update did not wait for the rest: it keeps the three bytes.
    EXPECT_EQ(dev.update(), 0);
    EXPECT_EQ(a->num_keys, 300);

    ASSERT_TRUE(peer.sendRaw(last.substr(3)));
    ASSERT_TRUE(updateUntil(dev, [&] { return a->num_keys == 301; }));
    EXPECT_EQ(a->keys[300].row, 1000);
    EXPECT_EQ(a->keys[300].value, 7.5f);
    EXPECT_EQ(dev->inbox_begin, dev->inbox_end);
    EXPECT_GE(dev->socket, 0);
}

TEST(SyncUpdate, UnknownCommandDropsTheConnectionAndKeepsTheTracks)
{
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    SyncTrack* a = dev.track("s.a");
    ASSERT_TRUE(peer.sendSetKey(0, 1, 1.0f, 0));
    ASSERT_TRUE(updateUntil(dev, [&] { return a->num_keys == 1; }));

    // GET_TRACK is a command of the demo, not of the editor; what follows
    // it is never looked at.
    ASSERT_TRUE(peer.sendRaw("\x02" + Peer::setKeyBytes(0, 2, 2.0f, 0)));
    ASSERT_TRUE(waitReadable(dev));
    testing::internal::CaptureStderr();
    EXPECT_EQ(dev.update(), 1);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "unknown cmd: 02\n");
    EXPECT_EQ(dev->socket, -1);
    EXPECT_EQ(a->num_keys, 1);
    EXPECT_TRUE(peer.waitForDisconnects(1));
    EXPECT_EQ(dev.update(), 1);

    // Any byte from 15 on is unknown too.
    ASSERT_EQ(dev.connect(peer), 0);
    ASSERT_TRUE(peer.sendRaw("\xff"));
    testing::internal::CaptureStderr();
    for (int i = 0; i < 500 && dev->socket >= 0; ++i) {
        dev.update();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "unknown cmd: ff\n");
    EXPECT_EQ(dev->socket, -1);
}

TEST(SyncUpdate, TrackIndexNeverAnnouncedDropsTheConnection)
{
    Peer peer;
    Device dev;
    SyncTrack* a = dev.track("s.a");
    set_key(a, {0, 1.0f, 0});
    const std::string bad[] = {
        Peer::setKeyBytes(1, 5, 9.0f, 0),
        Peer::deleteKeyBytes(0xFFFFFFFFu, 0),
        Peer::setNoKeyBytes(0x80000000u),
    };
    for (const std::string& cmd : bad) {
        ASSERT_EQ(dev.connect(peer), 0);
        ASSERT_TRUE(peer.sendSetKey(0, 3, 2.0f, 0));
        ASSERT_TRUE(peer.sendRaw(cmd));
        testing::internal::CaptureStderr();
        for (int i = 0; i < 500 && dev->socket >= 0; ++i) {
            dev.update();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(dev->socket, -1);
        ASSERT_EQ(a->num_keys, 1); // the key before the bad command arrived
        EXPECT_EQ(a->keys[0].row, 3);
    }
}

TEST(SyncUpdate, EditorCommandsOnTheWholeTrackSet)
{
    TrafficLogOn traffic;
    LogCapture log;
    TempDemo folder;
    folder.makeDir("sync");
    folder.enter();
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    SyncTrack* a = dev.track("s.a");
    SyncTrack* b = dev.track("s.b");
    ASSERT_TRUE(peer.sendSetKey(0, 2, 4.0f, 0));
    ASSERT_TRUE(peer.sendSetNoKey(1));
    ASSERT_TRUE(updateUntil(dev, [&] { return a->num_keys == 1 && b->data_received == 1; }));

    int changed = 0, activity = 0;
    ASSERT_TRUE(peer.sendDeferredPurge());
    ASSERT_TRUE(updateUntil(dev, [&] { return a->data_received == 0; }, &changed, &activity));
    EXPECT_EQ(b->data_received, 0);
    EXPECT_EQ(a->num_keys, 1);
    EXPECT_EQ(changed, 0);
    EXPECT_EQ(activity, 0);
    EXPECT_EQ(log.lines().back(), "deferred_purge set data_received to 0");

    ASSERT_TRUE(peer.sendDataReceivedAll());
    ASSERT_TRUE(updateUntil(dev, [&] { return a->data_received == 1 && b->data_received == 1; }));

    ASSERT_TRUE(peer.sendSaveTracks());
    struct stat st;
    ASSERT_TRUE(updateUntil(dev, [&] {
        platform::finishBackgroundWrites();
        return ::stat("sync/sync_s.b.track", &st) == 0;
    }));
    EXPECT_EQ(::stat("sync/sync_s.a.track", &st), 0);
    EXPECT_EQ(st.st_size, 13);
}

TEST(SyncSend, RequestsHaveTheirExactBytes)
{
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    EXPECT_EQ(send_track_value(dev.d, "a.b", 1.0f), 0);
    EXPECT_EQ(send_find_track(dev.d, "_windowToForeground", 0), 0);
    EXPECT_EQ(send_find_skene_start(dev.d, "intro", 0), 0);
    EXPECT_EQ(send_first_value(dev.d, "a.c", -2.0f), 0);
    const auto cmds = commandsBeforeFence(dev, peer);
    ASSERT_EQ(cmds.size(), 4u);
    EXPECT_EQ(cmds[0].bytes, std::string("\x07\x00\x00\x80\x3F\x00\x00\x00\x03" "a.b", 12));
    EXPECT_EQ(cmds[1].bytes, std::string("\x06\x00\x00\x00\x00\x00\x00\x00\x13" "_windowToForeground", 28));
    EXPECT_EQ(cmds[2].bytes, std::string("\x0a\x00\x00\x00\x00\x00\x00\x00\x05" "intro", 14));
    EXPECT_EQ(cmds[3].bytes, std::string("\x0c\x00\x00\x00\xC0\x00\x00\x00\x03" "a.c", 12));

    Device offline;
    EXPECT_EQ(send_track_value(offline.d, "a.b", 1.0f), 1);
    EXPECT_EQ(send_find_track(offline.d, "a.b", 0), 1);
    EXPECT_EQ(send_find_skene_start(offline.d, "a", 0), 1);
    EXPECT_EQ(send_first_value(offline.d, "a.b", 1.0f), 1);
    EXPECT_EQ(send_save_all(offline.d), -1);
}

TEST(SyncSend, VanishedEditorNeitherKillsTheDemoNorClosesOnSend)
{
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    peer.closeConnection();
    ASSERT_TRUE(peer.waitForDisconnects(1));
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // The first send may still be taken; a later one meets the reset and
    // would raise SIGPIPE without MSG_NOSIGNAL.
    int failed = 0;
    for (int i = 0; i < 50 && !failed; ++i) {
        failed = send_track_value(dev.d, "a.b", float(i));
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    EXPECT_EQ(failed, 1);
    EXPECT_GE(dev->socket, 0); // sends leave the socket to the next update
    EXPECT_EQ(send_save_all(dev.d), 1);
    dev.demo.playing = 1;
    EXPECT_EQ(dev.update(3), 1);
    EXPECT_EQ(dev->socket, -1);
}

uint32_t fakeNow = 0;
uint32_t fakeClock()
{
    return fakeNow;
}

TEST(SyncUpdate, StalledEditorIsDroppedAfterTheStallTimeout)
{
    Peer peer;
    Device dev;
    ASSERT_EQ(dev.connect(peer), 0);
    dev->clock_ms = fakeClock;
    fakeNow = 4294967000u; // across the clock's wrap
    dev.track("s.a");
    ASSERT_TRUE(peer.sendRaw(Peer::setKeyBytes(0, 1, 1.0f, 0).substr(0, 6)));
    ASSERT_TRUE(waitReadable(dev));
    EXPECT_EQ(dev.update(), 0);
    fakeNow += sync_stall_timeout_ms;
    EXPECT_EQ(dev.update(), 0); // still within the timeout
    EXPECT_GE(dev->socket, 0);
    fakeNow += 1;
    EXPECT_EQ(dev.update(), 1);
    EXPECT_EQ(dev->socket, -1);
}

TEST(SyncDevice, DestroyingAConnectedDeviceClosesItsConnection)
{
    Peer peer;
    SyncDevice* d = sync_create_device("sync", 1);
    ASSERT_EQ(sync_tcp_connect(d, "127.0.0.1", peer.port()), 0);
    ASSERT_TRUE(peer.waitForConnections(1));
    sync_destroy_device(d);
    EXPECT_TRUE(peer.waitForDisconnects(1));
    sync_destroy_device(nullptr);
}
