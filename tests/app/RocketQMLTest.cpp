#include "app/RocketQML.h"

#include "app/AppState.h"
#include "platform/Clock.h"
#include "state/ActiveSkeneList.h"
#include "state/DemoFolders.h"
#include "state/FrameState.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"

#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/SyncEditorPeer.h"
#include "support/TempDemo.h"

#include <QQmlContext>
#include <QQmlEngine>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

struct Controller : FreshStateTest {
    void SetUp() override { ensureQtApp(); }

    // A live rocket for skene "intro" in slot 1, talking to peer.
    Rocket& connect(SyncEditorPeer& peer)
    {
        Rocket& rocket = Rocket::instance();
        rocket.set_base_port(peer.port() - 1);
        activeSkeneList().entries = {{"intro", 1}};
        EXPECT_TRUE(rocket.create_rocket(true, peer.port()));
        EXPECT_TRUE(peer.waitForConnections(1));
        return rocket;
    }

    template <typename Pred>
    bool renderUntil(Pred pred)
    {
        const uint32_t start = platform::millisecondClock();
        while (!pred()) {
            if (platform::millisecondClock() - start > 5000)
                return false;
            controller.render(nullptr);
            platform::sleepMilliseconds(2);
        }
        return true;
    }

    RocketQML controller;
};

} // namespace

TEST_F(Controller, SyncFollowsLiveKeysAndTempValuesOverrideThem)
{
    SyncEditorPeer peer;
    connect(peer);
    EXPECT_EQ(controller.sync("intro.fade"), 0.0f); // asks for the track
    ASSERT_TRUE(peer.waitForCommands(1));
    EXPECT_EQ(peer.commands().back().cmd, SyncCommand::GET_TRACK);
    EXPECT_EQ(controller.getTrackNumKeys("intro.fade"), 1); // data not here yet

    peer.sendSetKey(0, 0, 4.5f, 0);
    ASSERT_TRUE(renderUntil([&] { return controller.sync("intro.fade") == 4.5f; }));
    EXPECT_EQ(controller.getTrackNumKeys("intro.fade"), 1);
    peer.sendSetKey(0, 20, 1.0f, 0);
    ASSERT_TRUE(renderUntil([&] { return controller.getTrackNumKeys("intro.fade") == 2; }));

    controller.setTrackTempValue("intro.fade", -2.0f);
    EXPECT_EQ(controller.sync("intro.fade"), -2.0f);
    controller.clearTrackTempValues();
    EXPECT_EQ(controller.sync("intro.fade"), 4.5f);
}

TEST_F(Controller, MissingRocketGivesZerosOnesAndNoSends)
{
    activeSkeneList().entries = {{"intro", 1}};
    EXPECT_EQ(controller.sync("intro.x"), 0.0f);
    EXPECT_EQ(controller.syncTrigger("intro.x"), 0.0f);
    EXPECT_EQ(controller.getTrackNumKeys("intro.x"), 1);
    controller.setTrackValue("intro.x", 1.0f);
    controller.findSkeneStart("intro.x");
    controller.setTrackFirstValue("intro.x", 1.0f);
    EXPECT_TRUE(Rocket::instance().followed_triggers() == 0);
}

TEST_F(Controller, TriggerFiresOnceWhenAKeyRowIsPassed)
{
    SyncEditorPeer peer;
    Rocket& rocket = connect(peer);
    controller.sync("intro.bang");
    peer.sendSetKey(0, 10, 1.0f, 0);
    ASSERT_TRUE(renderUntil([&] { return controller.getTrackNumKeys("intro.bang") == 1 &&
                                         rocket.GetSyncTrack("intro.bang")->num_keys == 1; }));
    std::vector<float> got;
    for (double row : {8.0, 9.0, 11.0, 12.0}) {
        rocket.evaluate_tracks_at(row);
        got.push_back(controller.syncTrigger("intro.bang"));
    }
    EXPECT_EQ(got, (std::vector<float>{0, 0, 1, 0}));
}

TEST_F(Controller, ScrubbingBackOverAKeyTriggersOnce)
{
    SyncEditorPeer peer;
    Rocket& rocket = connect(peer);
    controller.sync("intro.bang");
    peer.sendSetKey(0, 12, 1.0f, 0);
    ASSERT_TRUE(renderUntil([&] { return rocket.GetSyncTrack("intro.bang")->num_keys == 1; }));
    rocket.evaluate_tracks_at(30.0);
    EXPECT_EQ(controller.syncTrigger("intro.bang"), 1.0f); // first call tests 0..30
    rocket.on_set_row(30);
    rocket.on_set_row(5); // paused: a backwards jump
    ASSERT_LT(rocket.row_delta(), 0);
    rocket.evaluate_tracks_at(5.0);
    EXPECT_EQ(controller.syncTrigger("intro.bang"), 1.0f);
    EXPECT_EQ(controller.syncTrigger("intro.bang"), 0.0f);
}

TEST_F(Controller, TrackWithoutKeysNeverTriggers)
{
    SyncEditorPeer peer;
    Rocket& rocket = connect(peer);
    for (double row : {0.0, 5.0, 100.0}) {
        rocket.evaluate_tracks_at(row);
        EXPECT_EQ(controller.syncTrigger("intro.none"), 0.0f);
    }
}

TEST_F(Controller, SendsReachTheSkenesEditor)
{
    SyncEditorPeer peer;
    connect(peer);
    controller.setTrackValue("intro.a.b", 0.25f);
    controller.findSkeneStart("intro.a");
    controller.rocketWindowToForeground("intro.a");
    ASSERT_TRUE(peer.waitForCommands(3));
    const auto c = peer.commands();
    EXPECT_EQ(c[0].cmd, SyncCommand::SET_TRACK_VALUE);
    EXPECT_EQ(c[0].name, "intro.a.b");
    EXPECT_FLOAT_EQ(c[0].value, 0.25f);
    EXPECT_EQ(c[1].cmd, SyncCommand::FIND_SKENE_START);
    EXPECT_EQ(c[2].cmd, SyncCommand::FIND_TRACK);
    EXPECT_EQ(c[2].name, "_windowToForeground");
}

TEST_F(Controller, FirstValueOnlyForAnArrivedEmptyTrack)
{
    SyncEditorPeer peer;
    Rocket& rocket = connect(peer);
    controller.sync("intro.empty");
    controller.setTrackFirstValue("intro.empty", 3.0f); // not arrived yet: nothing
    peer.sendSetNoKey(0);
    ASSERT_TRUE(renderUntil([&] { return rocket.GetSyncTrack("intro.empty")->data_received == 1; }));
    // The peer reads on a thread of its own: its request for the track must
    // be in before the slate is wiped, or it lands after.
    ASSERT_TRUE(peer.waitForCommands(1));
    peer.clearCommands();
    controller.setTrackFirstValue("intro.empty", 3.0f);
    ASSERT_TRUE(peer.waitForCommands(1));
    EXPECT_EQ(peer.commands()[0].cmd, SyncCommand::SET_FIRST_VALUE);
    EXPECT_EQ(peer.commands().size(), 1u);
}

TEST_F(Controller, RenderPollsThenSignalsTheFrame)
{
    QSignalSpy updated(&controller, &RocketQML::rocketUpdated);
    QSignalSpy time(&controller, &RocketQML::timeUpdated);
    QSignalSpy step(&controller, &RocketQML::timeStepUpdated);
    QSignalSpy paused(&controller, &RocketQML::isPausedUpdated);
    controller.render(nullptr);
    EXPECT_EQ(updated.count(), 1);
    EXPECT_EQ(time.count(), 1);
    EXPECT_EQ(step.count(), 1); // timeStep, timeStepReal and isPaused follow the frame
    EXPECT_EQ(paused.count(), 1);
    EXPECT_EQ(controller.property("syncUpdate").toFloat(), 0.0f);
}

TEST_F(Controller, EditorStatusNamesThePortThatWaitsForAnEditor)
{
    QSignalSpy changed(&controller, &RocketQML::editorStatusChanged);
    Rocket& rocket = Rocket::instance();
    {
        // A port nobody listens on: the rocket waits for its editor.
        SyncEditorPeer gone;
        rocket.set_base_port(gone.port() - 1);
    }
    rocket_flags().rocket_enabled = true;
    rocket.create_rocket(true, rocket.base_port() + 1);
    controller.render(nullptr);
    EXPECT_EQ(controller.editorStatus().toStdString(),
              "waiting for sync editor on port " + std::to_string(rocket.base_port() + 1));
    EXPECT_EQ(changed.count(), 1);
    controller.render(nullptr);
    EXPECT_EQ(changed.count(), 1); // told once

    // From track files there is nothing to wait for.
    rocket_flags().rocket_enabled = false;
    controller.render(nullptr);
    EXPECT_TRUE(controller.editorStatus().isEmpty());

    // An editor that answers ends the wait.
    rocket_flags().rocket_enabled = true;
    SyncEditorPeer peer;
    connect(peer);
    controller.render(nullptr);
    EXPECT_TRUE(controller.editorStatus().isEmpty());
}

TEST_F(Controller, PathAndFileExists)
{
    TempDemo demo;
    demo.write("fx/intro/tex.png", "x");
    demoFolders().rootDir = demo.root();
    QSignalSpy missing(&controller, &RocketQML::fileNotFound);

    EXPECT_EQ(controller.path("", "intro"), QString());
    EXPECT_EQ(missing.count(), 0);
    EXPECT_EQ(controller.path("fx/intro/tex.png", "intro"),
              QString::fromStdString("file://" + demo.root() + "/fx/intro/tex.png"));
    EXPECT_EQ(controller.path("fx/intro/none.png", "intro"), QString());
    EXPECT_EQ(controller.path("fx/intro/none.png", "intro"), QString());
    EXPECT_EQ(missing.count(), 2);
    EXPECT_EQ(missing[0][0].toString(), "fx/intro/none.png");
    EXPECT_EQ(controller.path("fx/intro/none.png", ""), QString()); // no skene: no signal
    EXPECT_EQ(controller.path("fx\\\\none.png", "intro"), QString());
    EXPECT_EQ(missing.count(), 2);

    EXPECT_TRUE(controller.fileExists(""));
    EXPECT_TRUE(controller.fileExists("fx/intro/tex.png"));
    EXPECT_TRUE(controller.fileExists("fx\\intro\\tex.png"));
    EXPECT_FALSE(controller.fileExists("fx/intro/none.png"));
    // A URL that QML made from an absolute path.
    EXPECT_TRUE(controller.fileExists(QString::fromStdString("file://" + demo.root() + "/fx/intro/tex.png")));
    EXPECT_EQ(controller.rootPath(), QString::fromStdString(demo.root()));
}

TEST_F(Controller, DemoLoadedOnlyInFilePlaybackAndParticleReset)
{
    controller.markDemoLoaded();
    EXPECT_FALSE(Rocket::instance().demo_loaded());
    rocket_flags().rocket_enabled = false;
    controller.markDemoLoaded();
    EXPECT_TRUE(Rocket::instance().demo_loaded());
    controller.reloadParticles();
    EXPECT_TRUE(frameState().particleResetRequest);
}

TEST_F(Controller, PauseSlotStopsAndStartsTheClock)
{
    EXPECT_TRUE(controller.getIsPaused());
    controller.setPause(false);
    EXPECT_FALSE(controller.getIsPaused());
    controller.setPause(true);
    EXPECT_TRUE(controller.getIsPaused());
}

TEST_F(Controller, IgnitingLaunchesOneEditorPerSkeneOrOneForAll)
{
    appState().editorWindowHeight = -1080;
    std::vector<std::vector<std::string>> launched;
    appState().launchProgram = [&](const std::string& program, const std::vector<std::string>& args) {
        std::vector<std::string> line = {program};
        line.insert(line.end(), args.begin(), args.end());
        launched.push_back(line);
        return true;
    };
    activeSkeneList().entries = {{"intro", 1}, {"outro", 3}};
    QSignalSpy ignited(&controller, &RocketQML::rocketsIgnited);
    controller.igniteRockets();
    EXPECT_EQ(ignited.count(), 1);
    ASSERT_EQ(launched.size(), 2u);
    EXPECT_EQ(launched[0], (std::vector<std::string>{"sync_editor", "-port:1339", "-file:fx/intro/Skene.rocket",
                                                      "-windowHeight:-1080"}));
    EXPECT_EQ(launched[1][1], "-port:1341");
    launched.clear();
    rocket_flags().multi_rocket = false;
    controller.igniteRockets();
    ASSERT_EQ(launched.size(), 1u);
    EXPECT_EQ(launched[0], (std::vector<std::string>{"sync_editor", "-port:1338", "-file:lumenfall.rocket",
                                                      "-windowHeight:-1080"}));
}

TEST_F(Controller, ChangeInAnEditorPublishesItsSlotAsMasterOnce)
{
    QQmlEngine engine;
    appState().demoContext = engine.rootContext();
    SyncEditorPeer peer;
    Rocket::instance().set_base_port(peer.port() - 2);
    activeSkeneList().entries = {{"intro", 2}};
    ASSERT_TRUE(Rocket::instance().create_rocket(true, peer.port()));
    ASSERT_TRUE(peer.waitForConnections(1));
    controller.render(nullptr);
    EXPECT_FALSE(engine.rootContext()->contextProperty("masterRocketIndex").isValid());
    EXPECT_TRUE(engine.rootContext()->contextProperty("demoTimeNow").isValid());

    peer.sendMakeMaster();
    ASSERT_TRUE(renderUntil([&] { return Rocket::instance().master_index() == 2; }));
    EXPECT_EQ(engine.rootContext()->contextProperty("masterRocketIndex").toInt(), 2);
    EXPECT_EQ(appState().publishedMasterIndex, 2);
    // Published only on change: a value set behind its back stays.
    engine.rootContext()->setContextProperty("masterRocketIndex", 77);
    controller.render(nullptr);
    EXPECT_EQ(engine.rootContext()->contextProperty("masterRocketIndex").toInt(), 77);
}
