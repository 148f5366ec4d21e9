// The edit view's status strip follows the frames of a real Demo: the
// frame times of the last second, the row, playing or paused, the sync
// editors and the last reload.
#include "editor/EditStatus.h"
#include "state/FrameState.h"
#include "state/LastReload.h"
#include "state/rocket_flags.h"
#include "sync/Rocket.h"
#include "time/Music.h"
#include "time/TimeState.h"

#include "support/DemoWindow.h"
#include "support/FreshState.h"
#include "support/QtTestApp.h"
#include "support/SyncEditorPeer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>

namespace {

const char* const kDemo = R"(
import QtQuick 2.15
import QuellinDemoSystem 1.0
Demo {
    Rocket { }
    Scene { sceneEnabled: true }
}
)";

// The frame clock's readings, one a frame: frames of 10, 30, 20 and 40 ms
// after the first, then one of 950 ms.
const double kFrameEnds[] = {0, 10, 40, 60, 100, 1050};
int frameClockReadings = 0;
double steppedClock()
{
    const int last = int(sizeof kFrameEnds / sizeof kFrameEnds[0]) - 1;
    return kFrameEnds[std::min(frameClockReadings++, last)];
}

struct StatusStrip : FreshStateTest {
    StatusStrip()
    {
        ensureQtApp();
        frameClockReadings = 0;
        frameState().clockMs = steppedClock;
        // Playback from the track files: no frame waits, none goes idle.
        rocket_flags().rocket_enabled = false;
    }
};

} // namespace

TEST_F(StatusStrip, FrameTimesOfTheLastSecondFromRealFrames)
{
    DemoWindow w(kDemo); // its first frame ends at 0
    w.frames(4);
    EditStatus status(nullptr, 0);
    EXPECT_EQ(status.framesPerSecond(), 5);
    EXPECT_DOUBLE_EQ(status.meanMs(), 20.0); // (0 + 10 + 30 + 20 + 40) / 5
    EXPECT_DOUBLE_EQ(status.worstMs(), 40.0);

    // The frame of 950 ms ends at 1050: those that ended by 50 are out.
    w.frames(1);
    status.refresh();
    EXPECT_EQ(status.framesPerSecond(), 3);
    EXPECT_FLOAT_EQ(float(status.meanMs()), (20.0f + 40.0f + 950.0f) / 3);
    EXPECT_DOUBLE_EQ(status.worstMs(), 950.0);
}

TEST_F(StatusStrip, RowPauseEditorsAndReloadFollowTheDemo)
{
    // The demo clock follows the music.
    timeState().music = std::make_unique<Music>();
    ASSERT_TRUE(timeState().music->load(std::string(TARVONIC_TEST_DATA) + "/test_music.mp3"));
    timeState().music->set_paused(true);
    DemoWindow w(kDemo);
    Rocket& rocket = Rocket::instance();
    rocket.on_pause(true);
    rocket.on_set_row(123);
    w.frames(1);
    EditStatus status(nullptr, 0);
    int changes = 0;
    QObject::connect(&status, &EditStatus::changed, [&] { ++changes; });
    EXPECT_EQ(status.row(), 123);
    EXPECT_NEAR(status.seconds(), rocket.demo_seconds(), 1e-9);
    EXPECT_TRUE(status.paused());
    // No rocket for live editing: the tracks come from their files.
    EXPECT_TRUE(status.editors().isEmpty());
    // The Demo item loads nothing itself here; a reload is noted by name.
    EXPECT_EQ(status.lastReload(), "");
    noteReload("all skenes");
    status.refresh();
    EXPECT_EQ(status.lastReload(), "all skenes, 0 s ago");
    EXPECT_EQ(changes, 1);
    // Nothing moved: no change announced.
    status.refresh();
    EXPECT_EQ(changes, 1);

    rocket.on_pause(false);
    w.frames(1);
    status.refresh();
    EXPECT_FALSE(status.paused());
    // Playing, the row runs with the music.
    EXPECT_NEAR(status.row(), rocket.current_row(), 2.0);
    EXPECT_EQ(changes, 2);
}

TEST_F(StatusStrip, EachSyncEditorWithItsPortConnectedOrWaiting)
{
    SyncEditorPeer editor;
    Rocket& rocket = Rocket::instance();
    const int port = editor.port();
    rocket.set_base_port(port);
    // An editor on the first port; none on the one after it.
    ASSERT_TRUE(rocket.create_rocket(true, port));
    ASSERT_TRUE(editor.waitForConnections(1));
    ASSERT_TRUE(rocket.create_rocket(true, port + 1));
    EditStatus status(nullptr, 0);
    EXPECT_EQ(status.editors(), (QStringList{QString("%1 connected").arg(port), QString("%1 waiting").arg(port + 1)}));
}
