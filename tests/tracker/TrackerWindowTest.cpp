// The editor window driven by keys and the mouse, as an author uses it,
// with the demo's own sync client on the other end checking what arrives.
#include "support/DemoClientThread.h"
#include "support/QtTestApp.h"
#include "support/RecordingNotifier.h"
#include "platform/Files.h"
#include "platform/Notifier.h"
#include "tracker/lib/TrackerSession.h"
#include "tracker/ui/TrackGrid.h"
#include "tracker/ui/TrackerWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QHeaderView>
#include <QImage>
#include <QLineEdit>
#include <QProcess>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QUndoStack>

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using namespace tracker;

namespace {

// One editor with its window, and the demo's client that may connect to it.
struct Editor {
    explicit Editor(const QString& dir, const char* project = "ui.rocket")
    {
        EXPECT_EQ(server.listen(0), SyncServer::ListenResult::Listening);
        session.setDemoDir(dir);
        session.openProject(dir + QLatin1Char('/') + QLatin1String(project));
        window.askBeforeClosing = [] { return TrackerWindow::CloseAnswer::Discard; };
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
        activate();
    }
    void activate()
    {
        QApplication::setActiveWindow(&window);
        window.grid().setFocus();
        waitUntil([&] { return window.isActiveWindow(); }, 2000);
    }
    SyncTrack* connectTrack(const char* name)
    {
        SyncTrack* track = nullptr;
        if (demo.connect(server.port()) != 0)
            return nullptr;
        demo.run([&](SyncDevice* d) { track = sync_get_track(d, name, 1); });
        return demo.waitFor([&](SyncDevice*) { return track->data_received == 1; }) ? track : nullptr;
    }
    QWidget* grid() { return &window.grid(); }
    QWidget* viewport() { return window.grid().viewport(); }
    QPoint cell(int32_t row, int column) { return window.grid().cellRect(row, column).center(); }
    void typeValue(const char* text)
    {
        QTest::keyClicks(grid(), text);
        QTest::keyClick(grid(), Qt::Key_Return);
    }
    QString message() { return window.statusBar()->currentMessage(); }

    TrackerModel model;
    SyncServer server;
    TrackerSession session{model, server};
    TrackerWindow window{session};
    DemoClientThread demo;
};

// Rows the demo was told, with repeats in a row folded (the cursor row goes
// again a moment after a demo connects).
std::vector<int32_t> distinctRows(const std::vector<int32_t>& rows)
{
    std::vector<int32_t> out;
    for (int32_t r : rows) {
        if (out.empty() || out.back() != r)
            out.push_back(r);
    }
    return out;
}

void moveMouse(QWidget* w, QPoint at, Qt::MouseButtons buttons)
{
    QMouseEvent move(QEvent::MouseMove, at, w->mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(w, &move);
}

void wheel(QWidget* w, QPoint at, int notches, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    QWheelEvent e(at, w->mapToGlobal(at), QPoint(), QPoint(0, 120 * notches), Qt::NoButton, mods,
                  Qt::NoScrollPhase, false);
    QApplication::sendEvent(w, &e);
}

class TrackerWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureQtApp();
        ASSERT_TRUE(dir_.isValid());
        // The demo writes its track files below its working folder.
        oldDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
    }
    void TearDown() override
    {
        platform::finishBackgroundWrites();
        platform::setNotifier(nullptr);
        QDir::setCurrent(oldDir_);
    }
    QTemporaryDir dir_;
    QString oldDir_;
};

TEST_F(TrackerWindowTest, KeysTypedInTheGridReachTheDemoAndUndoSaysWhatItUndid)
{
    Editor e(dir_.path());
    SyncTrack* track = e.connectTrack("ui.value");
    ASSERT_NE(track, nullptr);
    ASSERT_EQ(e.session.cursorTrack(), e.model.findTrack("ui.value"));

    for (int i = 0; i < 3; ++i)
        QTest::keyClick(e.grid(), Qt::Key_Down);
    e.typeValue("-2.5");
    ASSERT_TRUE(e.demo.waitFor([&](SyncDevice*) { return track->num_keys == 1; }));
    e.demo.run([&](SyncDevice*) {
        // The cursor's row went first, when the demo connected.
        EXPECT_EQ(distinctRows(e.demo.rowsSet), (std::vector<int32_t>{0, 1, 2, 3}));
        EXPECT_EQ(track->keys[0].row, 3);
        EXPECT_EQ(track->keys[0].value, -2.5f);
    });
    e.typeValue("1e-3");
    ASSERT_TRUE(e.demo.waitFor([&](SyncDevice*) { return track->keys[0].value == 0.001f; }));
    // Too large for a key: refused, naming track and row, and never sent.
    e.typeValue("1e39");
    EXPECT_TRUE(e.message().contains(QStringLiteral("ui.value")) && e.message().contains(QStringLiteral("row 3")))
        << e.message().toStdString();
    EXPECT_EQ(e.model.keyAt(0, 3)->value, 0.001f);

    QTest::keyClick(e.grid(), Qt::Key_I); // next interpolation: linear
    EXPECT_TRUE(e.demo.waitFor([&](SyncDevice*) { return track->keys[0].type == 1; }));
    // Undo brings the change into view from wherever the cursor went.
    QTest::keyClick(e.grid(), Qt::Key_End);
    QTest::keyClick(e.grid(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(e.demo.waitFor([&](SyncDevice*) { return track->keys[0].type == 0; }));
    EXPECT_EQ(e.session.row(), 3);
    EXPECT_TRUE(e.message().startsWith(QStringLiteral("Undid: Interpolation linear"))) << e.message().toStdString();
    QTest::keyClick(e.grid(), Qt::Key_Z, Qt::ControlModifier);
    QTest::keyClick(e.grid(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(e.demo.waitFor([&](SyncDevice*) { return track->num_keys == 0; }));
    EXPECT_TRUE(e.message().startsWith(QStringLiteral("Undid: Set -2.5 at row 3 of ui.value")))
        << e.message().toStdString();
    QTest::keyClick(e.grid(), Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_TRUE(e.demo.waitFor([&](SyncDevice*) { return track->num_keys == 1; }));
    EXPECT_TRUE(e.message().startsWith(QStringLiteral("Redid: Set -2.5"))) << e.message().toStdString();

    // A slider in the edit view pushes a value a frame: one step per track.
    const int steps = e.window.undoStack().index();
    e.demo.run([](SyncDevice* d) {
        for (int i = 0; i < 200; ++i)
            send_track_value(d, "ui.value", float(i));
    });
    ASSERT_TRUE(waitUntil([&] { return e.model.keyAt(0, 3) && e.model.keyAt(0, 3)->value == 199.0f; }));
    EXPECT_EQ(e.window.undoStack().count(), steps + 1);
    QTest::keyClick(e.grid(), Qt::Key_Z, Qt::ControlModifier);
    EXPECT_TRUE(e.demo.waitFor([&](SyncDevice*) { return track->keys[0].value == -2.5f; }));

    // A name of any bytes and length is drawn without harm.
    e.model.addTrack(std::string("bad\x07\xff.") + std::string(20000, '\x1b'));
    QTest::keyClick(e.grid(), Qt::Key_End, Qt::ControlModifier);
    EXPECT_FALSE(e.window.grab().isNull());
}

TEST_F(TrackerWindowTest, SpaceDoesWhatTheStatusBarSaysAndEachEditorFollowsItsOwnDemo)
{
    Editor a(dir_.path(), "a.rocket");
    Editor b(dir_.path(), "b.rocket");
    ASSERT_NE(a.connectTrack("a.x"), nullptr);
    ASSERT_NE(b.connectTrack("b.x"), nullptr);
    a.activate();
    auto says = [](Editor& e, const char* what) { return e.window.statusText().contains(QLatin1String(what)); };
    EXPECT_TRUE(says(a, "paused: Space plays"));

    // The demo plays (another editor started it): both follow its row.
    for (Editor* e : {&a, &b}) {
        e->demo.row = 40;
        e->demo.playing = 1;
    }
    ASSERT_TRUE(waitUntil([&] { return a.session.row() == 40 && b.session.row() == 40; }));
    EXPECT_TRUE(says(a, "playing: Space pauses") && says(b, "playing: Space pauses"));

    // The music ends: rows stop coming, and both count the demo as stopped.
    a.demo.playing = 0;
    b.demo.playing = 0;
    ASSERT_TRUE(waitUntil([&] { return !a.session.isPlaying() && !b.session.isPlaying(); }, 3000));
    EXPECT_TRUE(says(a, "paused: Space plays"));
    QTest::keyClick(a.grid(), Qt::Key_Space);
    ASSERT_TRUE(a.demo.waitFor([&](SyncDevice*) { return a.demo.pauses.size() == 1; }));
    a.demo.run([&](SyncDevice*) { EXPECT_EQ(a.demo.pauses[0].flag, 0); });
    EXPECT_TRUE(says(a, "playing: Space pauses"));

    // Playing; Space pauses, and rows the demo sent before it had the
    // pause do not make the editor believe it plays on.
    a.demo.playing = 1;
    b.demo.playing = 1;
    a.demo.row = 50;
    b.demo.row = 50;
    ASSERT_TRUE(waitUntil([&] { return a.session.row() == 50 && b.session.row() == 50; }));
    QTest::keyClick(a.grid(), Qt::Key_Space);
    a.demo.row = 51;
    b.demo.row = 51;
    waitUntil([] { return false; }, 150);
    a.demo.playing = 0; // the pause has reached the demo
    b.demo.playing = 0;
    EXPECT_FALSE(a.session.isPlaying());
    EXPECT_EQ(b.session.row(), 51);
    ASSERT_TRUE(waitUntil([&] { return !b.session.isPlaying(); }, 3000));
    EXPECT_FALSE(a.session.isPlaying());
    QTest::keyClick(a.grid(), Qt::Key_Space);
    ASSERT_TRUE(a.demo.waitFor([&](SyncDevice*) { return a.demo.pauses.size() == 3; }));
    a.demo.run([&](SyncDevice*) {
        EXPECT_EQ(a.demo.pauses[1].flag, 1);
        EXPECT_EQ(a.demo.pauses[2].flag, 0);
    });
}

TEST_F(TrackerWindowTest, ADemoThatConnectsIsToldTheCursorRowByTheEditorInUse)
{
    Editor e(dir_.path());
    e.model.addTrack("c.x");
    QTest::keyClick(e.grid(), Qt::Key_G, Qt::ControlModifier);
    QTest::keyClicks(&e.window.goToLine(), "120");
    QTest::keyClick(&e.window.goToLine(), Qt::Key_Return);
    ASSERT_EQ(e.session.row(), 120);
    EXPECT_TRUE(e.grid()->hasFocus());
    QTest::keyClick(e.grid(), Qt::Key_G, Qt::ControlModifier);
    QTest::keyClicks(&e.window.goToLine(), "0:30");
    QTest::keyClick(&e.window.goToLine(), Qt::Key_Return);
    ASSERT_EQ(e.session.row(), 352); // 30 s of 11.7333 rows
    EXPECT_GE(e.session.row(), e.window.grid().topRow());
    EXPECT_LT(e.session.row(), e.window.grid().topRow() + e.window.grid().visibleRows());

    // The demo follows another editor until ours says it is the master.
    e.demo.master = false;
    ASSERT_EQ(e.demo.connect(e.server.port()), 0);
    ASSERT_TRUE(e.demo.waitFor([&](SyncDevice*) { return e.demo.activity == 2 && !e.demo.rowsSet.empty(); }));
    e.demo.run([&](SyncDevice*) { EXPECT_EQ(e.demo.rowsSet.back(), 352); });
}

TEST_F(TrackerWindowTest, TheMouseMovesSelectsEditsAndScrollsAndAnEditLandsInView)
{
    Editor e(dir_.path());
    SyncTrack* x = e.connectTrack("m.x");
    ASSERT_NE(x, nullptr);
    e.model.replaceKeys(e.model.addTrack("m.y"), std::vector<TrackKey>{{6, 4.0f, 2}}.data(), 1);
    e.model.addTrack("m.z");
    ASSERT_TRUE(waitUntil([&] { return e.session.layout().count() == 3; }));

    QTest::mouseClick(e.viewport(), Qt::LeftButton, {}, e.cell(6, 1));
    EXPECT_EQ(e.session.row(), 6);
    EXPECT_EQ(e.session.column(), 1);
    EXPECT_TRUE(e.window.statusText().contains(QStringLiteral("m.y  row 6"))) << e.window.statusText().toStdString();

    // Drag from (2, x) to (5, z): the block between.
    QTest::mousePress(e.viewport(), Qt::LeftButton, {}, e.cell(2, 0));
    moveMouse(e.viewport(), e.cell(4, 1), Qt::LeftButton);
    moveMouse(e.viewport(), e.cell(5, 2), Qt::LeftButton);
    QTest::mouseRelease(e.viewport(), Qt::LeftButton, {}, e.cell(5, 2));
    const TrackerSession::Block s = e.session.selection();
    EXPECT_EQ(std::make_tuple(s.firstColumn, s.lastColumn, s.firstRow, s.lastRow), std::make_tuple(0, 2, 2, 5));

    // A double click edits the value that is there.
    QTest::mouseDClick(e.viewport(), Qt::LeftButton, {}, e.cell(6, 1));
    EXPECT_EQ(e.window.grid().pendingValue(), QStringLiteral("4"));
    QTest::keyClick(e.grid(), Qt::Key_Backspace);
    e.typeValue("7");
    EXPECT_EQ(e.model.keyAt(1, 6)->value, 7.0f);
    EXPECT_EQ(e.model.keyAt(1, 6)->type, 2);

    // The wheel scrolls and leaves the cursor; a number typed then lands
    // on the cursor's row, brought back into view first.
    QTest::mouseClick(e.viewport(), Qt::LeftButton, {}, e.cell(3, 0));
    wheel(e.viewport(), e.cell(3, 0), -40);
    EXPECT_GT(e.window.grid().topRow(), 100);
    EXPECT_EQ(e.session.row(), 3);
    QTest::keyClicks(e.grid(), "9");
    EXPECT_EQ(e.window.grid().topRow(), 3);
    QTest::keyClick(e.grid(), Qt::Key_Return);
    ASSERT_TRUE(e.demo.waitFor([&](SyncDevice*) { return x->num_keys == 1; }));
    e.demo.run([&](SyncDevice*) { EXPECT_EQ(x->keys[0].row, 3); });
    wheel(e.viewport(), e.cell(3, 0), -40);
    QTest::keyClick(e.grid(), Qt::Key_Delete);
    EXPECT_TRUE(e.demo.waitFor([&](SyncDevice*) { return x->num_keys == 0; }));
    EXPECT_EQ(e.window.grid().topRow(), 3);

    // Ctrl+wheel zooms the rows.
    const int height = e.window.grid().rowHeight();
    wheel(e.viewport(), e.cell(3, 0), 3, Qt::ControlModifier);
    EXPECT_GT(e.window.grid().rowHeight(), height);
}

TEST_F(TrackerWindowTest, LongNamesCanBeToldApartAndColumnsWidened)
{
    Editor e(dir_.path());
    const std::string common = "skene.camera.path.position.";
    e.model.addTrack(common + "x.before.the.jump");
    e.model.addTrack(common + "x.after.the.jump");
    ASSERT_TRUE(waitUntil([&] { return e.session.layout().count() == 2; }));

    QTest::keyClick(e.grid(), Qt::Key_Right);
    EXPECT_TRUE(e.window.statusText().contains(QString::fromStdString(common + "x.after.the.jump")));
    const QPoint header(e.window.grid().cellRect(0, 1).center().x(), e.window.grid().headerHeight() - 4);
    QHelpEvent help(QEvent::ToolTip, header, e.viewport()->mapToGlobal(header));
    QApplication::sendEvent(e.viewport(), &help);
    EXPECT_EQ(QToolTip::text(), QString::fromStdString(common + "x.after.the.jump"));
    QToolTip::hideText();

    const int narrow = e.window.grid().cellRect(0, 1).width();
    QTest::keyClick(e.grid(), Qt::Key_Right, Qt::AltModifier);
    EXPECT_GT(e.window.grid().cellRect(0, 1).width(), narrow);
    // The right edge of the first column's name, dragged to the right.
    const QRect first = e.window.grid().cellRect(0, 0);
    const QPoint edge(first.right() + 1, e.window.grid().headerHeight() - 4);
    QTest::mousePress(e.viewport(), Qt::LeftButton, {}, edge);
    moveMouse(e.viewport(), edge + QPoint(120, 0), Qt::LeftButton);
    QTest::mouseRelease(e.viewport(), Qt::LeftButton, {}, edge + QPoint(120, 0));
    EXPECT_GE(e.window.grid().cellRect(0, 0).width(), first.width() + 100);
    EXPECT_TRUE(e.model.isDirty()); // kept in the project
}

TEST_F(TrackerWindowTest, KeysMoveBetweenEditorsThroughTheSystemClipboard)
{
    Editor from(dir_.path(), "from.rocket");
    from.model.replaceKeys(from.model.addTrack("p.a"), std::vector<TrackKey>{{0, 1.0f, 1}, {4, 2.5f, 0}}.data(), 2);
    from.model.replaceKeys(from.model.addTrack("p.b"), std::vector<TrackKey>{{2, -1.0f, 2}}.data(), 1);
    Editor to(dir_.path(), "to.rocket");
    SyncTrack* q = to.connectTrack("q.a");
    ASSERT_NE(q, nullptr);
    to.model.addTrack("q.b");

    from.activate();
    for (int i = 0; i < 4; ++i)
        QTest::keyClick(from.grid(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(from.grid(), Qt::Key_Right, Qt::ShiftModifier);
    // A whole block takes one interpolation.
    QTest::keyClick(from.grid(), Qt::Key_4, Qt::ControlModifier);
    for (int32_t row : {0, 4})
        EXPECT_EQ(from.model.keyAt(0, row)->type, 3);
    EXPECT_EQ(from.model.keyAt(1, 2)->type, 3);
    QTest::keyClick(from.grid(), Qt::Key_I);
    EXPECT_EQ(from.model.keyAt(1, 2)->type, 4);
    QTest::keyClick(from.grid(), Qt::Key_C, Qt::ControlModifier);
    const QString text = QApplication::clipboard()->text();
    EXPECT_TRUE(text.startsWith(QStringLiteral("sync-keys\t2 tracks\t5 rows\n"))) << text.toStdString();
    EXPECT_TRUE(text.contains(QStringLiteral("4\t0\t2.5\tspline\tp.a"))) << text.toStdString();

    to.activate();
    QTest::keyClick(to.grid(), Qt::Key_Down);
    QTest::keyClick(to.grid(), Qt::Key_V, Qt::ControlModifier);
    ASSERT_TRUE(to.demo.waitFor([&](SyncDevice*) { return q->num_keys == 2; }));
    to.demo.run([&](SyncDevice*) {
        EXPECT_EQ(q->keys[1].row, 5);
        EXPECT_EQ(q->keys[1].value, 2.5f);
        EXPECT_EQ(q->keys[1].type, 4);
    });
    EXPECT_EQ(to.model.keyAt(to.model.findTrack("q.b"), 3)->value, -1.0f);

    // Text that is not ours pastes nothing, and says so.
    QApplication::clipboard()->setText(QStringLiteral("just some words"));
    QTest::keyClick(to.grid(), Qt::Key_V, Qt::ControlModifier);
    EXPECT_TRUE(to.message().contains(QStringLiteral("holds no keys"))) << to.message().toStdString();
}

TEST_F(TrackerWindowTest, F1ShowsEveryKeyAndTheWholeColourLegend)
{
    Editor e(dir_.path());
    EXPECT_FALSE(e.window.grid().placeholderText().isEmpty());
    EXPECT_TRUE(e.window.grid().placeholderText().contains(QStringLiteral("sync editors on")));
    // Commands on a column that is not there change nothing.
    for (int key : {Qt::Key_Right, Qt::Key_Left})
        QTest::keyClick(e.grid(), Qt::Key(key), Qt::AltModifier);
    EXPECT_FALSE(e.model.isDirty());
    QTest::keyClick(e.grid(), Qt::Key_F1);
    auto* help = e.window.findChild<QDialog*>(QStringLiteral("help"));
    ASSERT_NE(help, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(help));
    auto* table = help->findChild<QTableWidget*>();
    ASSERT_NE(table, nullptr);
    QStringList keys;
    for (int r = 0; r < table->rowCount(); ++r)
        keys << table->item(r, 0)->text();
    EXPECT_EQ(keys.count(QStringLiteral("F1")), 1);
    EXPECT_TRUE(keys.contains(QStringLiteral("Double click")));
    EXPECT_EQ(table->rowCount(), e.window.shortcuts().size() + 5);
    EXPECT_EQ(table->item(table->rowCount() - 1, 0)->data(Qt::DecorationRole).value<QColor>(), QColor(0xe0, 0xc0, 0x50));
    // Nothing is cut: every column as wide as its widest line, all in view.
    for (int r = 0; r < table->rowCount(); ++r) {
        for (int c = 0; c < 2; ++c) {
            const QString text = table->item(r, c)->text();
            EXPECT_GE(table->columnWidth(c), table->fontMetrics().horizontalAdvance(text)) << text.toStdString();
        }
    }
    EXPECT_TRUE(waitUntil([&] { return table->horizontalScrollBar()->maximum() == 0; }, 1000));
    help->close();

    e.model.addTrack("now.one");
    EXPECT_TRUE(waitUntil([&] { return e.window.grid().placeholderText().isEmpty(); }));
}

TEST_F(TrackerWindowTest, ChangesSurviveACrashThroughTheRecoveryFile)
{
    const QString project = dir_.filePath(QStringLiteral("crash.rocket"));
    {
        Editor first(dir_.path(), "crash.rocket");
        first.model.addTrack("r.x");
        first.session.setRecoveryDelay(20);
        ASSERT_TRUE(first.session.saveProject());
        first.typeValue("4.5");
        ASSERT_TRUE(waitUntil([&] {
            platform::finishBackgroundWrites();
            return QFile::exists(recoveryPathOf(project));
        }));
        // The editor ends here without closing: the recovery file stays.
    }
    ASSERT_TRUE(QFile::exists(recoveryPathOf(project)));

    RecordingNotifier& notifier = installRecordingNotifier();
    notifier.answers = {platform::NotifyAnswer::Yes};
    Editor second(dir_.path(), "crash.rocket");
    SyncTrack* x = second.connectTrack("r.x");
    ASSERT_NE(x, nullptr);
    EXPECT_EQ(second.model.keys(0).num_keys, 0);
    second.window.offerRecovery();
    ASSERT_EQ(notifier.boxes.size(), 1u);
    EXPECT_EQ(notifier.boxes[0].buttons, platform::NotifyButtons::YesNo);
    EXPECT_NE(notifier.boxes[0].text.find("did not end cleanly"), std::string::npos);
    ASSERT_NE(second.model.keyAt(0, 0), nullptr);
    EXPECT_EQ(second.model.keyAt(0, 0)->value, 4.5f);
    EXPECT_TRUE(second.model.isDirty());
    // The connected demo has the restored key too.
    EXPECT_TRUE(second.demo.waitFor([&](SyncDevice*) { return x->num_keys == 1 && x->keys[0].value == 4.5f; }));
    QTest::keyClick(second.grid(), Qt::Key_S, Qt::ControlModifier);
    EXPECT_FALSE(QFile::exists(recoveryPathOf(project)));
    TrackerModel saved;
    EXPECT_EQ(loadProject(project, saved).status, LoadResult::Loaded);
    EXPECT_EQ(saved.keyAt(0, 0)->value, 4.5f);

    // Export asks; the demo does not answer, and the editor does not claim.
    QTest::keyClick(second.grid(), Qt::Key_E, Qt::ControlModifier);
    EXPECT_TRUE(second.message().startsWith(QStringLiteral("Asked the demo to write its track files")));
}

TEST_F(TrackerWindowTest, LLoopsTheSelectedRowsWithAMarkerBesideTheirNumbers)
{
    Editor e(dir_.path());
    e.model.addTrack("w.x");
    // Whether the loop's marker shows beside a row's number.
    auto marked = [&](int32_t row) {
        const QImage shot = e.viewport()->grab().toImage();
        const QRect cell = e.window.grid().cellRect(row, 0);
        for (int x = 0; x < cell.left(); ++x) {
            if (shot.pixelColor(x, cell.center().y()) == QColor(0xe0, 0x70, 0xd0))
                return true;
        }
        return false;
    };

    QTest::keyClick(e.grid(), Qt::Key_L); // nothing selected: nothing loops
    EXPECT_FALSE(e.session.hasLoop());
    EXPECT_TRUE(e.message().contains(QStringLiteral("Select the rows to loop"))) << e.message().toStdString();
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(e.grid(), Qt::Key_Down);
    for (int i = 0; i < 3; ++i)
        QTest::keyClick(e.grid(), Qt::Key_Down, Qt::ShiftModifier);
    QTest::keyClick(e.grid(), Qt::Key_L);
    ASSERT_TRUE(e.session.hasLoop());
    EXPECT_EQ(e.session.loopFirst(), 3);
    EXPECT_EQ(e.session.loopLast(), 6);
    EXPECT_TRUE(e.window.statusText().contains(QStringLiteral("loop 3-6"))) << e.window.statusText().toStdString();
    for (int32_t row : {3, 4, 6})
        EXPECT_TRUE(marked(row)) << row;
    for (int32_t row : {2, 7})
        EXPECT_FALSE(marked(row)) << row;

    QTest::keyClick(e.grid(), Qt::Key_L);
    EXPECT_FALSE(e.session.hasLoop());
    EXPECT_FALSE(e.window.statusText().contains(QStringLiteral("loop")));
    EXPECT_FALSE(marked(4));
    const auto& keys = e.window.shortcuts();
    EXPECT_TRUE(std::any_of(keys.begin(), keys.end(),
                            [](const QPair<QString, QString>& k) { return k.first == QStringLiteral("L"); }));
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
