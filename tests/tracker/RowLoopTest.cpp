// Looping a block of rows while the demo plays: the editor against the
// demo's own sync client over loopback, the demo's rows set the way a
// playing demo reports them (one per frame, several rows apart when it draws
// slowly), and the rows the editor sends it read back.
#include "support/DemoClientThread.h"
#include "support/QtTestApp.h"
#include "tracker/lib/RowLoop.h"
#include "tracker/lib/TrackerSession.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tracker;

namespace {

class RowLoopTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureQtApp();
        ASSERT_TRUE(dir_.isValid());
        ASSERT_EQ(server_.listen(0), SyncServer::ListenResult::Listening);
        session_.setDemoDir(dir_.path());
        session_.openProject(dir_.filePath(QStringLiteral("loop.rocket")));
        model_.addTrack("loop.x");
        ASSERT_EQ(demo_.connect(server_.port()), 0);
        ASSERT_TRUE(waitUntil([&] { return server_.hasDemo(); }));
    }

    // Selects rows first..last and presses L; the rows sent so far are
    // forgotten, and the demo plays from the cursor.
    void loopAndPlay(int32_t first, int32_t last)
    {
        session_.setCursor(first, 0);
        session_.setCursor(last, 0, true);
        session_.toggleLoop();
        ASSERT_TRUE(session_.hasLoop());
        session_.togglePlay();
        ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) { return !demo_.pauses.empty(); }));
        demo_.run([&](SyncDevice*) { demo_.rowsSet.clear(); });
        demo_.row = session_.row();
        demo_.playing = 1;
    }
    // The demo plays on to row; true once the editor followed it (or was
    // sent back by it).
    bool demoAt(int32_t row)
    {
        demo_.row = row;
        return waitUntil([&] { return session_.row() == row || sentRows().size() > sent_; }, 3000);
    }
    std::vector<int32_t> sentRows()
    {
        std::vector<int32_t> rows;
        demo_.run([&](SyncDevice*) { rows = demo_.rowsSet; });
        return rows;
    }
    // Waits a little for rows that should not come.
    std::vector<int32_t> settledRows()
    {
        waitUntil([] { return false; }, 150);
        return sentRows();
    }

    QTemporaryDir dir_;
    TrackerModel model_;
    SyncServer server_;
    TrackerSession session_{model_, server_};
    DemoClientThread demo_;
    size_t sent_ = 0;
};

TEST_F(RowLoopTest, TheDemoGoesBackToTheBlocksStartOnceItsRowPassesTheEnd)
{
    loopAndPlay(80, 100);
    ASSERT_TRUE(demoAt(90));
    ASSERT_TRUE(demoAt(100)); // the last row plays whole
    EXPECT_TRUE(settledRows().empty());

    ASSERT_TRUE(demoAt(101));
    ASSERT_TRUE(waitUntil([&] { return !sentRows().empty(); }));
    // The frame that took the jump still reports where the demo was: that
    // neither moves the cursor nor sends the demo back again.
    demo_.row = 103;
    EXPECT_EQ(settledRows(), std::vector<int32_t>{80});
    EXPECT_EQ(session_.row(), 80);
    sent_ = 1;

    // Round again, this time a slow frame jumping far over the end.
    ASSERT_TRUE(demoAt(81));
    ASSERT_TRUE(demoAt(97));
    ASSERT_TRUE(demoAt(140));
    ASSERT_TRUE(waitUntil([&] { return sentRows().size() == 2; }));
    EXPECT_EQ(settledRows(), (std::vector<int32_t>{80, 80}));
}

TEST_F(RowLoopTest, AOneRowBlockLoopsEvenWhenTheDemoSkipsOverIt)
{
    loopAndPlay(50, 50);
    session_.setCursor(44, 0); // the demo plays into the loop from before it
    ASSERT_TRUE(waitUntil([&] { return sentRows().size() == 1; }));
    sent_ = 1;
    ASSERT_TRUE(demoAt(44));
    ASSERT_TRUE(demoAt(48));
    ASSERT_TRUE(demoAt(53)); // four rows a frame: row 50 never reported
    ASSERT_TRUE(waitUntil([&] { return sentRows().size() == 2; }));
    EXPECT_EQ(settledRows(), (std::vector<int32_t>{44, 50}));
}

TEST_F(RowLoopTest, ASeekPastTheBlockPlaysOnAndAStoppedLoopSendsNothing)
{
    loopAndPlay(80, 100);
    ASSERT_TRUE(demoAt(95));
    // The author sends the demo far past the block while it plays; rows it
    // sent before it had the seek do not bring the cursor back either.
    session_.setCursor(300, 0);
    sent_ = 1;
    demo_.row = 96;
    EXPECT_EQ(settledRows(), std::vector<int32_t>{300});
    EXPECT_EQ(session_.row(), 300);
    ASSERT_TRUE(demoAt(300));
    ASSERT_TRUE(demoAt(303));
    EXPECT_EQ(settledRows(), std::vector<int32_t>{300});

    // Back before the end, then L again: the demo plays through.
    session_.setCursor(99, 0);
    sent_ = 2;
    ASSERT_TRUE(demoAt(99));
    session_.toggleLoop();
    EXPECT_FALSE(session_.hasLoop());
    ASSERT_TRUE(demoAt(101));
    ASSERT_TRUE(demoAt(120));
    EXPECT_EQ(settledRows(), (std::vector<int32_t>{300, 99}));
}

TEST_F(RowLoopTest, PausingKeepsTheLoopAndSendsNoRowAndPlayingAgainLoopsOn)
{
    loopAndPlay(80, 100);
    ASSERT_TRUE(demoAt(98));
    session_.togglePlay();
    ASSERT_TRUE(demo_.waitFor([&](SyncDevice*) { return demo_.pauses.size() == 2; }));
    demo_.playing = 0;
    demo_.run([&](SyncDevice*) {
        EXPECT_EQ(demo_.pauses[1].flag, 1);
        EXPECT_EQ(demo_.pauses[1].row, 98);
    });
    EXPECT_TRUE(settledRows().empty());
    EXPECT_TRUE(session_.hasLoop());
    EXPECT_EQ(session_.row(), 98);

    session_.togglePlay();
    demo_.playing = 1;
    ASSERT_TRUE(demoAt(99));
    ASSERT_TRUE(demoAt(102));
    ASSERT_TRUE(waitUntil([&] { return !sentRows().empty(); }));
    EXPECT_EQ(settledRows(), std::vector<int32_t>{80});
}

TEST_F(RowLoopTest, ALoopInAnEditorWhoseRowsTheDemoDoesNotTakeStillLoops)
{
    loopAndPlay(80, 100);
    demo_.master = false; // the author last worked in another skene's editor
    ASSERT_TRUE(demoAt(99));
    // The first jump back only makes this editor the one the demo takes rows
    // from; the demo plays on past the end and is sent back again.
    int32_t row = 101;
    EXPECT_TRUE(waitUntil([&] {
        demo_.row = row++;
        waitUntil([] { return false; }, 20);
        return !sentRows().empty();
    }, 3000));
    EXPECT_EQ(settledRows(), std::vector<int32_t>{80});
    EXPECT_LT(row, 110);
}

TEST(RowLoop, OldReportsAfterASeekAreFewAndBrief)
{
    RowLoop loop;
    loop.set(50, 50);
    loop.placeDemo(49);
    EXPECT_EQ(loop.demoReported(53, 0), RowLoop::Verdict::Loop);
    // A slow demo's next rows are past where it was, whichever place they
    // come from: two count as old, then the loop goes on.
    EXPECT_EQ(loop.demoReported(57, 10), RowLoop::Verdict::Stale);
    EXPECT_EQ(loop.demoReported(54, 20), RowLoop::Verdict::Stale);
    EXPECT_EQ(loop.demoReported(58, 30), RowLoop::Verdict::Loop);
    // After a while nothing is old any more.
    EXPECT_EQ(loop.demoReported(61, 30 + stale_report_ms + 1), RowLoop::Verdict::Loop);
    // A row of the new place ends the doubt at once.
    EXPECT_EQ(loop.demoReported(50, 700), RowLoop::Verdict::Follow);
    EXPECT_EQ(loop.demoReported(52, 710), RowLoop::Verdict::Loop);
}

} // namespace
