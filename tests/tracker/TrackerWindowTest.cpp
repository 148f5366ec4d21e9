// The editor window driven by keys, as an author uses it, with the demo's
// own sync client on the other end checking what arrives.
#include "support/DemoClientThread.h"
#include "support/QtTestApp.h"
#include "tracker/lib/TrackerSession.h"
#include "tracker/ui/TrackGrid.h"
#include "tracker/ui/TrackerWindow.h"

#include <QApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QUndoStack>

#include <gtest/gtest.h>

using namespace tracker;

namespace {

TEST(TrackerWindowTest, KeysTypedInTheGridReachTheDemoAndUndoTakesThemBack)
{
    ensureQtApp();
    QTemporaryDir dir;
    TrackerModel model;
    SyncServer server;
    ASSERT_EQ(server.listen(0), SyncServer::ListenResult::Listening);
    TrackerSession session(model, server);
    session.setDemoDir(dir.path());
    session.openProject(dir.filePath(QStringLiteral("ui.rocket")));
    TrackerWindow window(session);
    window.askBeforeClosing = [] { return TrackerWindow::CloseAnswer::Discard; };
    window.show();
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    window.grid().setFocus();

    DemoClientThread demo;
    ASSERT_EQ(demo.connect(server.port()), 0);
    SyncTrack* track = nullptr;
    demo.run([&](SyncDevice* d) { track = sync_get_track(d, "ui.value", 1); });
    ASSERT_TRUE(demo.waitFor([&](SyncDevice*) { return track->data_received == 1; }));
    ASSERT_EQ(session.cursorTrack(), model.findTrack("ui.value"));

    QWidget* grid = &window.grid();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(grid, Qt::Key_Down);
    QTest::keyClicks(grid, "-2.5");
    QTest::keyClick(grid, Qt::Key_Return);
    ASSERT_TRUE(demo.waitFor([&](SyncDevice*) { return track->num_keys == 1; }));
    demo.run([&](SyncDevice*) {
        EXPECT_EQ(demo.rowsSet, (std::vector<int32_t>{1, 2, 3}));
        EXPECT_EQ(track->keys[0].row, 3);
        EXPECT_EQ(track->keys[0].value, -2.5f);
    });

    QTest::keyClick(grid, Qt::Key_I); // next interpolation: linear
    EXPECT_TRUE(demo.waitFor([&](SyncDevice*) { return track->keys[0].type == 1; }));
    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(demo.waitFor([&](SyncDevice*) { return track->keys[0].type == 0; }));
    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(demo.waitFor([&](SyncDevice*) { return track->num_keys == 0; }));
    QTest::keyClick(grid, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(demo.waitFor([&](SyncDevice*) { return track->num_keys == 1; }));
    EXPECT_EQ(window.undoStack().index(), 1);

    QTest::keyClick(grid, Qt::Key_Space);
    ASSERT_TRUE(demo.waitFor([&](SyncDevice*) { return demo.pauses.size() == 1; }));
    demo.run([&](SyncDevice*) { EXPECT_EQ(demo.pauses[0].flag, 0); });
    EXPECT_TRUE(window.statusText().contains(QStringLiteral("Demo connected on port")));

    // A name of any bytes and length is drawn without harm.
    model.addTrack(std::string("bad\x07\xff.") + std::string(20000, '\x1b'));
    QTest::keyClick(grid, Qt::Key_End, Qt::ControlModifier);
    EXPECT_FALSE(window.grab().isNull());
    EXPECT_GT(window.shortcuts().size(), 20);
}

TEST(TrackerProgramTest, ATakenPortEndsTheEditorWithCodeTwo)
{
    ensureQtApp();
    SyncServer holder; // another editor on the port
    ASSERT_EQ(holder.listen(0), SyncServer::ListenResult::Listening);
    QProcess editor;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    editor.setProcessEnvironment(env);
    editor.start(QStringLiteral(SYNC_EDITOR_PROGRAM), {QStringLiteral("-port:%1").arg(holder.port())});
    ASSERT_TRUE(editor.waitForFinished(10000));
    EXPECT_EQ(editor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(editor.exitCode(), 2);
    EXPECT_TRUE(editor.readAllStandardError().contains("already in use"));
}

} // namespace
