#include "sync/Rocket.h"

#include "platform/Clock.h"
#include "state/ActiveSkeneList.h"
#include "state/rocket_flags.h"
#include "sync/track_file.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/SyncEditorPeer.h"
#include "support/TempDemo.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

void loadTestMusic()
{
    timeState().music = std::make_unique<Music>();
    ASSERT_TRUE(timeState().music->load(std::string(TARVONIC_TEST_DATA) + "/test_music.mp3"));
    timeState().music->set_paused(true);
}

void setActive(std::vector<ActiveSkene> entries)
{
    activeSkeneList().entries = std::move(entries);
}

// Polls the rocket until pred() holds, like frames would.
template <typename Pred>
bool updateUntil(Rocket& rocket, Pred pred, int timeoutMs = 5000)
{
    const uint32_t start = platform::millisecondClock();
    while (!pred()) {
        if (platform::millisecondClock() - start > uint32_t(timeoutMs))
            return false;
        rocket.update();
        platform::sleepMilliseconds(2);
    }
    return true;
}

// A live rocket for skene "intro" in slot `slot`, talking to peer.
Rocket& liveRocket(SyncEditorPeer& peer, int slot)
{
    Rocket& rocket = Rocket::instance();
    rocket.set_base_port(peer.port() - slot);
    setActive({{"intro", slot}});
    EXPECT_TRUE(rocket.create_rocket(true, peer.port()));
    EXPECT_TRUE(peer.waitForConnections(1));
    return rocket;
}

struct RocketManager : FreshStateTest {
};

} // namespace

TEST_F(RocketManager, PortRangeIsTheHundredSlotsFrom1338)
{
    Rocket& rocket = Rocket::instance();
    EXPECT_TRUE(rocket.create_rocket(false, 1437));
    EXPECT_NE(rocket.device(99), nullptr);
    EXPECT_FALSE(rocket.create_rocket(false, 1337));
    EXPECT_FALSE(rocket.create_rocket(false, 1438));
}

TEST_F(RocketManager, EditorPauseStartsAndStopsTheClock)
{
    SyncEditorPeer peer;
    loadTestMusic();
    Rocket& rocket = liveRocket(peer, 1);
    EXPECT_TRUE(rocket.is_paused());

    peer.sendPause(0, 0);
    ASSERT_TRUE(updateUntil(rocket, [&] { return !rocket.is_paused(); }));
    EXPECT_TRUE(timeState().music->is_playing());
    platform::sleepMilliseconds(100);
    EXPECT_GT(rocket.current_seconds(), 0.05);

    peer.sendPause(1, 117);
    ASSERT_TRUE(updateUntil(rocket, [&] { return rocket.is_paused(); }));
    EXPECT_FALSE(timeState().music->is_playing());
    EXPECT_DOUBLE_EQ(rocket.current_row(), 117.0);
    EXPECT_NEAR(timeState().music->position(), 117.0 / rocket.row_rate(), 0.002);
}

TEST_F(RocketManager, ScrubbingWhilePausedGivesOneFrameTimeStep)
{
    SyncEditorPeer peer;
    loadTestMusic();
    Rocket& rocket = liveRocket(peer, 1);
    peer.sendMakeMaster();
    ASSERT_TRUE(updateUntil(rocket, [&] { return rocket.master_index() == 1; }));
    peer.sendSetRow(100);
    ASSERT_TRUE(updateUntil(rocket, [&] { return rocket.prev_row() == 100; }));
    rocket.update();
    EXPECT_FLOAT_EQ(rocket.time_step(), 0.0f);

    peer.sendSetRow(112);
    ASSERT_TRUE(updateUntil(rocket, [&] { return rocket.prev_row() == 112; }));
    // 12 rows at 88 bpm and 8 rows a beat are 1022.7 ms, clamped to 500.
    EXPECT_FLOAT_EQ(rocket.time_step(), 500.0f);
    EXPECT_NEAR(rocket.pause_step_seconds(), 12.0 * 60.0 / (8.0 * 88.0), 1e-9);
    EXPECT_DOUBLE_EQ(rocket.current_row(), 112.0);
    rocket.update();
    EXPECT_FLOAT_EQ(rocket.time_step(), 0.0f);
    EXPECT_NEAR(timeState().music->position(), 112.0 / rocket.row_rate(), 0.002);
}

TEST_F(RocketManager, OnlyTheMasterCursorMovesTheDemo)
{
    SyncEditorPeer peer;
    loadTestMusic();
    Rocket& rocket = liveRocket(peer, 1);
    ASSERT_EQ(rocket.master_index(), 0);
    // Not the master yet: the cursor move is ignored, but it makes this
    // editor the master for what follows.
    peer.sendSetRow(50);
    ASSERT_TRUE(updateUntil(rocket, [&] { return rocket.master_index() == 1; }));
    EXPECT_EQ(rocket.prev_row(), 0);
    peer.sendSetRow(7);
    ASSERT_TRUE(updateUntil(rocket, [&] { return rocket.prev_row() == 7; }));
    EXPECT_NEAR(timeState().music->position(), 7.0 / rocket.row_rate(), 0.002);
}

TEST_F(RocketManager, VanishedEditorIsReconnectedOnTheNextFrame)
{
    SyncEditorPeer peer;
    Rocket& rocket = liveRocket(peer, 1);
    SyncTrack* track = rocket.GetSyncTrack("intro.x");
    ASSERT_NE(track, nullptr);
    ASSERT_TRUE(peer.waitForCommands(1)); // the request has arrived before the editor goes
    peer.closeConnection();
    // The new connection, made over the next frames, asks for the track again.
    ASSERT_TRUE(updateUntil(rocket, [&] { return peer.connections() >= 2 && peer.commands().size() >= 2; }));
    int requests = 0;
    for (const auto& c : peer.commands())
        requests += c.cmd == SyncCommand::GET_TRACK && c.name == "intro.x";
    EXPECT_EQ(requests, 2);
}

TEST_F(RocketManager, AbsentEditorLeavesTheRocketDisconnected)
{
    Rocket& rocket = Rocket::instance();
    uint16_t freePort;
    {
        SyncEditorPeer gone; // its port is free once it is destroyed
        freePort = gone.port();
    }
    rocket.set_base_port(freePort - 1);
    setActive({{"intro", 1}});
    ASSERT_TRUE(rocket.create_rocket(true, freePort));
    for (int i = 0; i < 3; ++i)
        rocket.update();
    EXPECT_EQ(rocket.device(1)->socket, -1);
    EXPECT_EQ(rocket.GetSyncTrack("intro.x")->num_keys, 0);
}

TEST_F(RocketManager, FilePlaybackReadsTrackFiles)
{
    TempDemo demo;
    demo.enter();
    demo.makeDir("sync");
    {
        SyncTrack track{};
        track.name = const_cast<char*>("intro.fade");
        TrackKey keys[2] = {{0, 1.0f, int32_t(KeyType::Linear)}, {10, 3.0f, int32_t(KeyType::Step)}};
        track.keys = keys;
        track.num_keys = 2;
        ASSERT_EQ(write_track_file(&track, "sync"), 0);
    }
    rocket_flags().rocket_enabled = false;
    Rocket& rocket = Rocket::instance();
    setActive({{"intro", 1}});
    rocket.connect_rockets();
    SyncTrack* track = rocket.GetSyncTrack("intro.fade");
    ASSERT_NE(track, nullptr);
    EXPECT_EQ(track->num_keys, 2);
    EXPECT_FLOAT_EQ(get_value(track, 5.0), 2.0f);
    // Cached: the same track again.
    EXPECT_EQ(rocket.GetSyncTrack("intro.fade"), track);
    // A skene that is not active goes to slot 0, which has no device here.
    EXPECT_EQ(rocket.GetSyncTrack("other.fade"), nullptr);
}

TEST_F(RocketManager, ResolvesTrackNamesBySkenePrefix)
{
    Rocket& rocket = Rocket::instance();
    setActive({{"intro", 4}, {"intro2", 7}});
    EXPECT_EQ(rocket.resolve_rocket("intro.cam.x"), 4);
    EXPECT_EQ(rocket.resolve_rocket("intro2.x"), 7);
    EXPECT_EQ(rocket.resolve_rocket("intro"), 4);
    EXPECT_EQ(rocket.resolve_rocket("nothing.x"), 0);
    rocket_flags().multi_rocket = false;
    EXPECT_EQ(rocket.resolve_rocket("intro2.x"), 0);
}

TEST_F(RocketManager, PlayingClockFollowsWallClockFromResumePosition)
{
    loadTestMusic();
    Rocket& rocket = Rocket::instance();
    timeState().music->set_position(1.25);
    EXPECT_DOUBLE_EQ(rocket.current_seconds(), 1.25);
    rocket.on_pause(false);
    EXPECT_FALSE(rocket.is_paused());
    EXPECT_NEAR(rocket.current_seconds(), 1.25, 0.01);
    platform::sleepMilliseconds(50);
    EXPECT_GT(rocket.current_seconds(), 1.29);
    EXPECT_NEAR(rocket.demo_seconds(), rocket.current_seconds(), 0.01);
}

TEST_F(RocketManager, FrameTimeRingAveragesTheLastTwenty)
{
    Rocket& rocket = Rocket::instance();
    rocket.push_frame_time(40.0f);
    EXPECT_FLOAT_EQ(rocket.average_frame_time(), 2.0f); // unwritten entries count as 0
    for (int i = 0; i < 20; ++i)
        rocket.push_frame_time(16.0f);
    EXPECT_FLOAT_EQ(rocket.average_frame_time(), 16.0f);
    EXPECT_FLOAT_EQ(rocket.last_frame_time(), 16.0f);
    rocket.on_pause(false);
    EXPECT_FLOAT_EQ(rocket.time_step(), 16.0f);
}

TEST_F(RocketManager, NoMusicMeansClockAtZero)
{
    Rocket& rocket = Rocket::instance();
    rocket.on_pause(false);
    EXPECT_EQ(rocket.current_row(), 0.0);
    EXPECT_EQ(rocket.current_seconds(), 0.0);
}

TEST_F(RocketManager, SingleRocketLiveModePollsSlotZero)
{
    SyncEditorPeer peer;
    rocket_flags().multi_rocket = false;
    Rocket& rocket = Rocket::instance();
    rocket.set_base_port(peer.port());
    setActive({{"intro", 3}, {"outro", 5}});
    rocket.connect_rockets();
    ASSERT_TRUE(peer.waitForConnections(1));
    ASSERT_NE(rocket.device(0), nullptr);
    EXPECT_EQ(rocket.device(3), nullptr);

    // Both skenes' tracks live in the one editor.
    SyncTrack* intro = rocket.GetSyncTrack("intro.x");
    SyncTrack* outro = rocket.GetSyncTrack("outro.y");
    ASSERT_TRUE(intro && outro);
    ASSERT_TRUE(peer.waitForCommands(2));
    peer.sendSetKey(1, 0, 2.5f, 0);
    ASSERT_TRUE(updateUntil(rocket, [&] { return outro->num_keys == 1; }));
    EXPECT_FLOAT_EQ(get_value(outro, 4.0), 2.5f);
}

TEST_F(RocketManager, EditorSeekWhilePlayingMovesTheClockWithTheMusic)
{
    SyncEditorPeer peer;
    loadTestMusic();
    Rocket& rocket = liveRocket(peer, 1);
    peer.sendMakeMaster();
    peer.sendPause(0, 0);
    ASSERT_TRUE(updateUntil(rocket, [&] { return !rocket.is_paused() && rocket.master_index() == 1; }));

    peer.sendSetRow(40); // 3.4 s: inside the 6 s test track
    ASSERT_TRUE(updateUntil(rocket, [&] { return rocket.prev_row() == 40; }));
    EXPECT_GE(rocket.current_row(), 40.0);
    EXPECT_GE(timeState().music->position(), 40.0 / rocket.row_rate() - 0.05);
    // The rows the demo reports from now on continue from there instead of
    // pulling the editor's cursor back.
    peer.clearCommands();
    ASSERT_TRUE(updateUntil(rocket, [&] { return !peer.commands().empty(); }));
    for (const auto& c : peer.commands()) {
        if (c.cmd == SyncCommand::SET_ROW) {
            EXPECT_GE(c.number, 40);
        }
    }
}

TEST_F(RocketManager, PlayingClockRunsOnAcrossTheMillisecondClocksWrap)
{
    static uint32_t now;
    now = 0xFFFFFFFFu - 499u;
    loadTestMusic();
    Rocket& rocket = Rocket::instance();
    rocket.set_clock([] { return now; });
    timeState().music->set_position(1.0);
    rocket.on_pause(false);
    now += 1500; // past 2^32 ms
    EXPECT_NEAR(rocket.current_seconds(), 2.5, 1e-9);
    EXPECT_NEAR(rocket.current_row(), 2.5 * rocket.row_rate(), 1e-6);
}

TEST_F(RocketManager, WhilePlayingTheClockFollowsWhatTheMusicSounds)
{
    loadTestMusic();
    Rocket& rocket = Rocket::instance();
    Music& music = *timeState().music;
    rocket.on_pause(false);
    // Frames for `ms`: whether the clock only went forwards, and the median
    // of how far it was from the music over the last ten.
    auto frames = [&](uint32_t ms, double* apart) {
        bool forwards = true;
        double last = rocket.current_seconds();
        std::vector<double> recent;
        const uint32_t start = platform::millisecondClock();
        while (platform::millisecondClock() - start < ms) {
            rocket.update();
            const double now = rocket.current_seconds();
            forwards = forwards && now >= last;
            last = now;
            recent.push_back(std::abs(now - music.sounding_position()));
            platform::sleepMilliseconds(16);
        }
        recent.erase(recent.begin(), recent.end() - std::min<ptrdiff_t>(10, ptrdiff_t(recent.size())));
        std::sort(recent.begin(), recent.end());
        *apart = recent[recent.size() / 2];
        return forwards;
    };
    // The output's first buffer comes a little after the clock started
    // (later still on a busy machine): together within a second.
    double apart = 1.0;
    frames(1000, &apart);
    EXPECT_LT(apart, 0.005);
    // The output a little ahead (a sound card whose crystal runs fast, all
    // at once): steered back within a second, never backwards.
    music.set_position(music.position() + 0.03);
    EXPECT_TRUE(frames(1000, &apart));
    EXPECT_LT(apart, 0.005);
    // Behind by 0.4 s (its thread stalled on a busy machine): the clock
    // meets the music within a second.
    music.set_position(music.position() - 0.4);
    frames(1000, &apart);
    EXPECT_LT(apart, 0.005);
}

TEST_F(RocketManager, AFixedStepClockIgnoresTheWallClock)
{
    static uint32_t now;
    now = 1000;
    loadTestMusic();
    Rocket& rocket = Rocket::instance();
    rocket.set_clock([] { return now; });
    rocket.use_fixed_step(1000.0 / 60.0);
    rocket.push_frame_time(250.0f);
    rocket.on_pause(false);
    rocket.hold_at(2.0);
    now += 5000;
    EXPECT_EQ(rocket.current_seconds(), 2.0);
    EXPECT_NEAR(rocket.demo_seconds(), 2.0, 1e-12);
    // Every frame lasts the step, whatever was measured.
    EXPECT_FLOAT_EQ(rocket.time_step(), 1000.0f / 60.0f);
    EXPECT_FLOAT_EQ(rocket.last_frame_time(), 1000.0f / 60.0f);
    // Paused, the clock is the music's position as ever.
    timeState().music->set_paused(true);
    rocket.on_pause(true);
    timeState().music->set_position(3.0);
    EXPECT_EQ(rocket.current_seconds(), 3.0);
}

TEST_F(RocketManager, EverySlotAnActiveSkeneUsesIsPolled)
{
    SyncEditorPeer peer;
    Rocket& rocket = liveRocket(peer, 42); // the 42nd skene's editor
    SyncTrack* track = rocket.GetSyncTrack("intro.x");
    ASSERT_NE(track, nullptr);
    ASSERT_TRUE(peer.waitForCommands(1));
    peer.sendSetKey(0, 3, 7.0f, 0);
    ASSERT_TRUE(updateUntil(rocket, [&] { return track->num_keys == 1; }));
    EXPECT_EQ(get_value(track, 3.0), 7.0f);
    EXPECT_EQ(rocket.master_index(), 42);
}
