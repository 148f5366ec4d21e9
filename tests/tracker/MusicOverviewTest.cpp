// The music beside the rows: decoded with the project's MP3 reader, found
// as the player finds it, and drawn on the demo's row clock so that the
// example's kicks sit on its beat rows, whatever the zoom.
#include "platform/DataPack.h"
#include "support/QtTestApp.h"
#include "tracker/lib/MusicOverview.h"
#include "tracker/ui/TrackGrid.h"
#include "tracker/ui/TrackerWindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace tracker;

namespace {

const QString exampleMusic = QStringLiteral(TARVONIC_SOURCE_DIR "/examples/lumenfall/music.mp3");
const double rowRate = sync_row_rate(sync_default_bpm, sync_default_rows_per_beat);

QByteArray bytesOf(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// The loudest sample between two rows of the demo's clock.
float loudness(const MusicOverview& m, double fromRow, double toRow)
{
    float lo = 0.0f, hi = 0.0f;
    if (!m.peak(fromRow / rowRate, toRow / rowRate, &lo, &hi))
        return 0.0f;
    return std::max(-lo, hi);
}

TEST(MusicOverviewTest, TheExamplesKicksFallOnItsBeatRows)
{
    const QByteArray mp3 = bytesOf(exampleMusic);
    ASSERT_FALSE(mp3.isEmpty());
    MusicOverview m;
    QString why;
    const double slice = 0.5 / rowRate;
    ASSERT_TRUE(buildMusicOverview(reinterpret_cast<const unsigned char*>(mp3.constData()), size_t(mp3.size()), slice,
                                   &m, &why))
        << why.toStdString();
    // Twelve bars of four beats at 88 bpm.
    EXPECT_NEAR(m.seconds(), 48 * 60.0 / 88.0, 0.05);
    EXPECT_EQ(m.low.size(), size_t((m.samples + MusicOverview::kBlock - 1) / MusicOverview::kBlock));
    int kicks = 0;
    const int beats = int(m.seconds() * 88.0 / 60.0) - 2;
    for (int beat = 2; beat < beats; ++beat) {
        const double row = beat * 8.0; // 8 rows a beat on the demo's clock
        const float onset = loudness(m, row, row + 0.25);
        const float before = loudness(m, row - 2.0, row - 1.0);
        kicks += onset > 1.2f * before ? 1 : 0;
        // The kick is low: the lowest bands ring at the beat, not between.
        const uint8_t* at = m.spectrumAt(row / rowRate + 0.02);
        const uint8_t* between = m.spectrumAt((row - 2.0) / rowRate);
        ASSERT_TRUE(at && between);
        EXPECT_GT(at[3], between[3]) << "beat " << beat;
    }
    EXPECT_EQ(kicks, beats - 2);
    float lo = 0.0f, hi = 0.0f;
    EXPECT_FALSE(m.peak(m.seconds() + 1.0, m.seconds() + 2.0, &lo, &hi));
    EXPECT_EQ(m.spectrumAt(m.seconds() + 1.0), nullptr);

    std::atomic<bool> cancel{true};
    MusicOverview cancelled;
    EXPECT_FALSE(buildMusicOverview(reinterpret_cast<const unsigned char*>(mp3.constData()), size_t(mp3.size()),
                                    slice, &cancelled, &why, &cancel));
}

class MusicLoaderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureQtApp();
        ASSERT_TRUE(dir_.isValid());
        oldDir_ = QDir::currentPath();
        QDir::setCurrent(dir_.path());
    }
    void TearDown() override { QDir::setCurrent(oldDir_); }
    // What one load came to: the overview, or why there is none.
    std::pair<std::shared_ptr<const MusicOverview>, QString> load(const QString& path)
    {
        MusicLoader loader;
        std::shared_ptr<const MusicOverview> music;
        QString why;
        bool done = false;
        QObject::connect(&loader, &MusicLoader::loaded, [&](std::shared_ptr<const MusicOverview> m) {
            music = std::move(m);
            done = true;
        });
        QObject::connect(&loader, &MusicLoader::failed, [&](const QString& w) {
            why = w;
            done = true;
        });
        loader.load(path, 0.05);
        EXPECT_TRUE(waitUntil([&] { return done; }, 20000));
        return {music, why};
    }
    QTemporaryDir dir_;
    QString oldDir_;
};

TEST_F(MusicLoaderTest, MusicIsFoundAsThePlayerFindsItOrNamedOnTheCommandLine)
{
    auto [none, why] = load(QString());
    EXPECT_EQ(none, nullptr);
    EXPECT_TRUE(why.contains(QStringLiteral("no music.mp3"))) << why.toStdString();

    // Only in the data pack.
    ASSERT_TRUE(QFile::copy(QStringLiteral(TARVONIC_TEST_DATA "/tone220_48k.mp3"), QStringLiteral("music.mp3")));
    std::string error;
    ASSERT_TRUE(platform::writeDataPack(dir_.path().toStdString(), {"music.mp3"}, "datapack.dat", error)) << error;
    ASSERT_TRUE(QFile::remove(QStringLiteral("music.mp3")));
    auto [packed, packWhy] = load(QString());
    ASSERT_NE(packed, nullptr) << packWhy.toStdString();
    EXPECT_EQ(packed->source, QStringLiteral("music.mp3 from datapack.dat"));
    EXPECT_EQ(packed->rate, 48000);
    EXPECT_NEAR(packed->seconds(), 1.0, 0.01);

    // The loose file wins over the pack.
    ASSERT_TRUE(QFile::copy(exampleMusic, QStringLiteral("music.mp3")));
    auto [loose, looseWhy] = load(QString());
    ASSERT_NE(loose, nullptr) << looseWhy.toStdString();
    EXPECT_EQ(loose->source, QStringLiteral("music.mp3"));
    EXPECT_GT(loose->seconds(), 30.0);

    QFile damaged(QStringLiteral("damaged.mp3"));
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly));
    damaged.write(QByteArray(5000, '\x5a'));
    damaged.close();
    auto [bad, badWhy] = load(QStringLiteral("damaged.mp3"));
    EXPECT_EQ(bad, nullptr);
    EXPECT_TRUE(badWhy.startsWith(QStringLiteral("damaged.mp3 is not music"))) << badWhy.toStdString();
    auto [missing, missingWhy] = load(QStringLiteral("nowhere.mp3"));
    EXPECT_EQ(missing, nullptr);
    EXPECT_TRUE(missingWhy.contains(QStringLiteral("cannot read nowhere.mp3"))) << missingWhy.toStdString();
}

TEST_F(MusicLoaderTest, TheWaveformScrollsAndZoomsWithTheRows)
{
    TrackerModel model;
    SyncServer server;
    TrackerSession session(model, server);
    session.setDemoDir(dir_.path());
    session.openProject(dir_.filePath(QStringLiteral("m.rocket")));
    model.addTrack("m.x");
    TrackerWindow window(session);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    QSignalSpy settled(&window, &TrackerWindow::musicSettled);
    window.loadMusic(exampleMusic);
    ASSERT_TRUE(waitUntil([&] { return settled.count() == 1; }, 20000));
    TrackGrid& grid = window.grid();
    ASSERT_NE(grid.music(), nullptr);
    EXPECT_TRUE(window.statusBar()->currentMessage().startsWith(QStringLiteral("Music beside the rows")));
    const QRect wave = grid.musicRect();
    ASSERT_FALSE(wave.isEmpty());

    // Row r of the grid is r / 11.7333 s of the music, zoomed or not,
    // scrolled or not.
    auto rowAt = [&](int32_t row) { return grid.headerHeight() + (row - grid.topRow()) * grid.rowHeight(); };
    auto check = [&] {
        for (int32_t row = grid.topRow(); row < grid.topRow() + 10; ++row)
            EXPECT_NEAR(grid.secondsAtY(rowAt(row)), row / rowRate, 1e-9);
    };
    check();
    grid.zoom(4);
    grid.verticalScrollBar()->setValue(40);
    check();

    // Drawn: the kick at a beat's row is wider than the quiet before it.
    auto inked = [&](int y) {
        const QImage image = grid.viewport()->grab().toImage();
        int n = 0;
        for (int x = wave.left(); x <= wave.right(); ++x)
            n += image.pixelColor(x, y) == QColor(0x4f, 0xb8, 0xc8) ? 1 : 0;
        return n;
    };
    EXPECT_GT(inked(rowAt(48) + 1), inked(rowAt(46) + grid.rowHeight() / 2) + 4);

    QTest::keyClick(&grid, Qt::Key_F4);
    EXPECT_GT(grid.musicRect().width(), wave.width()); // the spectrum strip too
    QTest::keyClick(&grid, Qt::Key_F4);
    EXPECT_TRUE(grid.musicRect().isEmpty());

    QTest::keyClick(&grid, Qt::Key_BracketLeft);
    EXPECT_TRUE(window.statusBar()->currentMessage().contains(QStringLiteral("grid's shading only")));
    EXPECT_EQ(model.rowsPerBeat(), 7);
}

} // namespace
