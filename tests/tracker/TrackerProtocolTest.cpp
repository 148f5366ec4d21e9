// The editor's end of the protocol against the demo's own sync client, in
// one process over loopback: every command both ways, split segments,
// garbage, and the order in which demos are served.
#include "platform/Files.h"
#include "support/DemoClientThread.h"
#include "support/QtTestApp.h"
#include "support/RawDemoPeer.h"
#include "tracker/lib/TrackerSession.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace tracker;

namespace {

using RawPeer = RawDemoPeer;

std::string be32(uint32_t v)
{
    return RawDemoPeer::be32(v);
}

std::string getTrack(uint32_t index, const std::string& name)
{
    return RawDemoPeer::getTrack(index, name);
}

class TrackerProtocolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureQtApp();
        ASSERT_TRUE(dir_.isValid());
        // The demo writes its track files below its working directory.
        oldDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
        QDir().mkdir(QStringLiteral("sync"));
        ASSERT_EQ(server_.listen(0), SyncServer::ListenResult::Listening);
        session_.setDemoDir(dir_.path());
        session_.openProject(dir_.filePath(QStringLiteral("project.rocket")));
    }
    void TearDown() override { QDir::setCurrent(oldDir_); }

    int addTrack(const std::string& name, std::vector<TrackKey> keys)
    {
        const int t = model_.addTrack(name);
        model_.replaceKeys(t, keys.data(), int(keys.size()));
        return t;
    }
    // The demo's track called name, asked for (live) on first use.
    SyncTrack* demoTrack(DemoClientThread& demo, const char* name)
    {
        SyncTrack* t = nullptr;
        demo.run([&](SyncDevice* d) { t = sync_get_track(d, name, 1); });
        return t;
    }
    bool connectDemo()
    {
        return demo_.connect(server_.port()) == 0 && waitUntil([&] { return server_.hasDemo(); });
    }

    QTemporaryDir dir_;
    QString oldDir_;
    TrackerModel model_;
    SyncServer server_;
    TrackerSession session_{model_, server_};
    DemoClientThread demo_;
};

TEST_F(TrackerProtocolTest, TrackRequestsAreAnsweredWithKeysAnEmptyReportOrTheDemosTrackFile)
{
    addTrack("prism.spin", {{0, 1.0f, 1}, {8, 2.0f, 0}});
    // The demo shipped a track file for a track the project lacks.
    QFile file(dir_.filePath(QStringLiteral("sync/sync_prism.glow.track")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromHex("01000000" "05000000" "0000c03f" "02"));
    file.close();

    ASSERT_TRUE(connectDemo());
    SyncTrack* spin = demoTrack(demo_, "prism.spin");
    SyncTrack* fresh = demoTrack(demo_, "prism.new");
    SyncTrack* glow = demoTrack(demo_, "prism.glow");
    ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) {
        return spin->num_keys == 2 && fresh->data_received == 1 && glow->num_keys == 1;
    }));
    demo_.run([&](SyncDevice*) {
        EXPECT_EQ(spin->keys[1].row, 8);
        EXPECT_EQ(spin->keys[1].value, 2.0f);
        EXPECT_EQ(spin->keys[0].type, 1);
        EXPECT_EQ(fresh->num_keys, 0);
        EXPECT_EQ(glow->keys[0].row, 5);
        EXPECT_EQ(glow->keys[0].value, 1.5f);
        EXPECT_EQ(glow->keys[0].type, 2);
    });
    EXPECT_GE(model_.findTrack("prism.new"), 0); // a column for the new track
    ASSERT_GE(model_.findTrack("prism.glow"), 0);
    EXPECT_EQ(model_.keys(model_.findTrack("prism.glow")).num_keys, 1);
}

TEST_F(TrackerProtocolTest, EditsCursorPlayAndFocusReachTheDemo)
{
    const int track = addTrack("a.x", {});
    ASSERT_TRUE(connectDemo());
    SyncTrack* x = demoTrack(demo_, "a.x");
    ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) { return x->data_received == 1; }));

    session_.setCursor(4, session_.layout().columnOfTrack(track));
    ASSERT_TRUE(session_.setValue(2.5f));
    ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) { return x->num_keys == 1 && demo_.rowsSet.size() == 2; }));
    demo_.run([&](SyncDevice*) {
        // The cursor's row when the demo connected, then the move.
        EXPECT_EQ(demo_.rowsSet, (std::vector<int32_t>{0, 4}));
        EXPECT_EQ(x->keys[0].row, 4);
        EXPECT_EQ(x->keys[0].value, 2.5f);
        EXPECT_EQ(x->keys[0].type, int(KeyType::Step));
    });
    session_.cycleInterpolation();
    EXPECT_TRUE(demo_.waitFor([&](SyncDevice*) { return x->num_keys == 1 && x->keys[0].type == 1; }));
    session_.deleteKeys();
    EXPECT_TRUE(demo_.waitFor([&](SyncDevice*) { return x->num_keys == 0; }));

    demo_.run([&](SyncDevice*) { demo_.activity = 0; });
    session_.makeMaster();
    EXPECT_TRUE(demo_.waitFor([&](SyncDevice*) { return demo_.activity == 2; }));

    session_.togglePlay();
    session_.togglePlay();
    ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) { return demo_.pauses.size() == 2; }));
    demo_.run([&](SyncDevice*) {
        EXPECT_EQ(demo_.pauses[0].flag, 0);
        EXPECT_EQ(demo_.pauses[1].flag, 1);
        EXPECT_EQ(demo_.pauses[1].row, 4); // little-endian on the wire
    });
}

TEST_F(TrackerProtocolTest, FullResendRestoresTheDemoAndExportWritesItsTrackFiles)
{
    addTrack("a.x", {{0, 1.0f, 1}, {16, 2.5f, 0}});
    ASSERT_TRUE(connectDemo());
    SyncTrack* x = demoTrack(demo_, "a.x");
    ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) { return x->num_keys == 2; }));

    demo_.run([&](SyncDevice*) { delete_key(x, 0); });
    session_.resendAll();
    EXPECT_TRUE(demo_.waitFor([&](SyncDevice*) { return x->num_keys == 2 && x->data_received == 1; }));

    session_.exportTrackFiles();
    const QString path = dir_.filePath(QStringLiteral("sync/sync_a.x.track"));
    ASSERT_TRUE(waitUntil([&] {
        platform::finishBackgroundWrites();
        return QFile(path).size() == 4 + 2 * 9;
    }));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll().toHex(), QByteArray("02000000" "00000000" "0000803f" "01" "10000000" "00002040" "00"));
}

TEST_F(TrackerProtocolTest, DemoCommandsMoveAndEditTheEditor)
{
    const int a = addTrack("s.a", {{16, 1.0f, 1}, {40, 2.0f, 1}});
    const int b = addTrack("s.b", {{24, 1.0f, 0}});
    addTrack("t.c", {{2, 1.0f, 0}});
    const int empty = addTrack("s.empty", {});
    ASSERT_TRUE(connectDemo());
    QSignalSpy raised(&session_, &TrackerSession::raiseRequested);

    // Playing: the editor follows the demo's row and does not echo it.
    demo_.row = 30;
    demo_.playing = 1;
    ASSERT_TRUE(waitUntil([&] { return session_.row() == 30; }));
    EXPECT_TRUE(session_.isPlaying());
    demo_.playing = 0;

    demo_.run([](SyncDevice* d) {
        send_find_track(d, "s.b", 0);
        send_find_track(d, "_windowToForeground", 0);
    });
    ASSERT_TRUE(waitUntil([&] { return raised.count() == 1; }));
    EXPECT_EQ(session_.cursorTrack(), b);
    EXPECT_EQ(session_.row(), 30);

    session_.setCursor(10, session_.layout().columnOfTrack(a));
    demo_.run([](SyncDevice* d) { send_track_value(d, "s.a", 7.5f); });
    ASSERT_TRUE(waitUntil([&] { return model_.keyAt(a, 10) != nullptr; }));
    EXPECT_EQ(model_.keyAt(a, 10)->value, 7.5f);

    demo_.run([](SyncDevice* d) {
        send_first_value(d, "s.empty", 3.0f);
        send_first_value(d, "s.a", 9.0f); // has keys: nothing
        send_find_skene_start(d, "s.anything", 0);
        send_save_all(d);
    });
    const QString project = dir_.filePath(QStringLiteral("project.rocket"));
    ASSERT_TRUE(waitUntil([&] { return QFile::exists(project); }));
    ASSERT_NE(model_.keyAt(empty, 0), nullptr);
    EXPECT_EQ(model_.keyAt(empty, 0)->value, 3.0f);
    EXPECT_EQ(model_.keyAt(a, 0), nullptr);
    // The skene's first key is now the one the demo just set at row 0.
    EXPECT_EQ(session_.row(), 0);
    EXPECT_EQ(session_.cursorTrack(), empty);
    // Only the row at connecting and moves made in the editor went to the
    // demo.
    ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) { return demo_.rowsSet.size() == 3; }));
    demo_.run([&](SyncDevice*) { EXPECT_EQ(demo_.rowsSet, (std::vector<int32_t>{0, 10, 0})); });
}

TEST_F(TrackerProtocolTest, ADemoThatDrawsSlowlyStillCountsAsPlayingBetweenItsRows)
{
    ASSERT_TRUE(connectDemo());
    demo_.playing = 1;
    int stillPlaying = 0;
    for (int32_t row = 10; row < 14; ++row) {
        demo_.row = row; // a row every 700 ms: a demo drawing a frame and a half a second
        ASSERT_TRUE(waitUntil([&] { return session_.row() == row; }));
        waitUntil([] { return false; }, 700);
        stillPlaying += session_.isPlaying() ? 1 : 0;
    }
    EXPECT_GE(stillPlaying, 3); // the first gap is not known yet
    demo_.playing = 0;
    QElapsedTimer stopped;
    stopped.start();
    ASSERT_TRUE(waitUntil([&] { return !session_.isPlaying(); }, 3000));
    EXPECT_LT(stopped.elapsed(), max_demo_quiet_ms);
}

TEST_F(TrackerProtocolTest, ValuesThatAreNoNumberAreRefusedByNameAndNeverReachTheDemo)
{
    const int a = addTrack("n.a", {{0, 1.0f, 0}});
    addTrack("n.empty", {});
    // A track file the demo shipped, with nan on row 8 beside a good key.
    QFile file(dir_.filePath(QStringLiteral("sync/sync_n.file.track")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray::fromHex("02000000" "08000000" "0000c07f" "00" "0c000000" "0000803f" "01"));
    file.close();
    QStringList messages;
    QObject::connect(&session_, &TrackerSession::statusMessage, [&](const QString& m) { messages << m; });

    ASSERT_TRUE(connectDemo());
    SyncTrack* fromFile = demoTrack(demo_, "n.file");
    SyncTrack* na = demoTrack(demo_, "n.a");
    SyncTrack* empty = demoTrack(demo_, "n.empty");
    ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) {
        return fromFile->data_received == 1 && na->num_keys == 1 && empty->data_received == 1;
    }));
    demo_.run([&](SyncDevice*) {
        ASSERT_EQ(fromFile->num_keys, 1);
        EXPECT_EQ(fromFile->keys[0].row, 12);
    });
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.back().contains(QStringLiteral("n.file")) && messages.back().contains(QStringLiteral("row 8")))
        << messages.back().toStdString();

    session_.setCursor(6, session_.layout().columnOfTrack(a));
    demo_.run([](SyncDevice* d) {
        send_track_value(d, "n.a", NAN);
        send_track_value(d, "n.a", INFINITY);
        send_first_value(d, "n.empty", -INFINITY);
        send_track_value(d, "n.a", 2.0f); // the one that counts
    });
    ASSERT_TRUE(waitUntil([&] { return model_.keyAt(a, 6) != nullptr; }));
    EXPECT_EQ(model_.keyAt(a, 6)->value, 2.0f);
    EXPECT_EQ(model_.keys(model_.findTrack("n.empty")).num_keys, 0);
    int refused = 0;
    for (const QString& m : messages)
        refused += m.startsWith(QStringLiteral("Refused")) && m.contains(QStringLiteral("n.")) ? 1 : 0;
    EXPECT_EQ(refused, 3);
    EXPECT_TRUE(messages.filter(QStringLiteral("for n.a at row 6")).size() == 2);
    ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) { return na->num_keys == 2; }));
    demo_.run([&](SyncDevice*) {
        for (int i = 0; i < na->num_keys; ++i)
            EXPECT_TRUE(std::isfinite(na->keys[i].value));
        EXPECT_EQ(empty->num_keys, 0);
    });
}

TEST_F(TrackerProtocolTest, CommandsSplitAcrossSegmentsAreReassembled)
{
    RawPeer peer(server_.port());
    ASSERT_TRUE(peer.connected());
    peer.send("hello, synctracker!", 5);
    // The greeting, then the cursor's row.
    EXPECT_EQ(peer.read(17), "hello, demo!" + std::string(1, '\x03') + be32(0));
    peer.send(getTrack(3, "split.track") + getTrack(4, "split.other"), 1);
    EXPECT_EQ(peer.read(10), std::string("\x0d", 1) + be32(3) + std::string("\x0d", 1) + be32(4));
    EXPECT_GE(model_.findTrack("split.track"), 0);
    EXPECT_GE(model_.findTrack("split.other"), 0);
}

TEST_F(TrackerProtocolTest, GarbageIsDroppedWithAMessageAndTheNextDemoIsServed)
{
    QSignalSpy status(&session_, &TrackerSession::statusMessage);
    const std::string greeting = "hello, synctracker!";
    {
        RawPeer wrongGreeting(server_.port());
        wrongGreeting.send("hello, syncTRACKER!");
        EXPECT_TRUE(wrongGreeting.closedByEditor());
    }
    {
        RawPeer unknownCommand(server_.port());
        unknownCommand.send(greeting + getTrack(0, "g.ok") + "\xee");
        EXPECT_TRUE(unknownCommand.closedByEditor());
    }
    {
        RawPeer hugeName(server_.port());
        hugeName.send(greeting + std::string(1, '\x02') + be32(0) + be32(0xffffffffu) + "abc");
        EXPECT_TRUE(hugeName.closedByEditor());
    }
    ASSERT_TRUE(waitUntil([&] { return !server_.hasDemo(); }));
    int drops = 0;
    for (const auto& args : status)
        drops += args.at(0).toString().startsWith(QStringLiteral("Dropped the demo")) ? 1 : 0;
    EXPECT_EQ(drops, 3);
    EXPECT_EQ(model_.trackCount(), 1); // only g.ok, which came before the garbage
    EXPECT_TRUE(connectDemo());
}

TEST_F(TrackerProtocolTest, DemosAreServedOneAtATimeAndAReconnectAsksForEveryTrackAgain)
{
    addTrack("r.a", {{0, 1.0f, 0}});
    addTrack("r.b", {{0, 2.0f, 0}});
    ASSERT_TRUE(connectDemo());
    SyncTrack* ra = demoTrack(demo_, "r.a");
    SyncTrack* rb = demoTrack(demo_, "r.b");
    ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) { return ra->num_keys == 1 && rb->num_keys == 1; }));

    DemoClientThread second;
    std::future<int> secondConnected = second.connectLater(server_.port());
    waitUntil([] { return false; }, 200);
    EXPECT_NE(secondConnected.wait_for(std::chrono::milliseconds(0)), std::future_status::ready);

    // The first demo goes: the second one is served.
    demo_.disconnect();
    ASSERT_TRUE(waitUntil([&] {
        return secondConnected.wait_for(std::chrono::milliseconds(0)) == std::future_status::ready;
    }));
    EXPECT_EQ(secondConnected.get(), 0);
    second.disconnect();
    ASSERT_TRUE(waitUntil([&] { return !server_.hasDemo(); }));

    // The first demo comes back: its keys went with the purge, and each track
    // is filled again under its own index.
    ASSERT_TRUE(connectDemo());
    ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) { return ra->num_keys == 1 && rb->num_keys == 1; }));
    demo_.run([&](SyncDevice*) {
        EXPECT_EQ(ra->keys[0].value, 1.0f);
        EXPECT_EQ(rb->keys[0].value, 2.0f);
    });
}

} // namespace
