// The project file round trip, files that are not (whole) project files,
// and taking keys from the demo's track files.
#include "support/QtTestApp.h"
#include "tracker/lib/ProjectFile.h"
#include "tracker/lib/TrackerSession.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cmath>

using namespace tracker;

namespace {

class ProjectFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureQtApp();
        ASSERT_TRUE(dir_.isValid());
    }
    QString path(const char* name) const { return dir_.filePath(QString::fromLatin1(name)); }
    void write(const QString& file, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(file).absolutePath());
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray read(const QString& file)
    {
        QFile f(file);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    QTemporaryDir dir_;
};

TEST_F(ProjectFileTest, EverythingComesBackAsItWasSaved)
{
    TrackerModel saved;
    const std::string oddName("intro.\xff\x01name", 12); // not UTF-8: kept byte for byte
    const TrackKey keys[] = {{-4, -0.125f, 4}, {0, 1.0f / 3.0f, 1}, {7, 3.0e9f, 7}, {100000, 0.0f, 0}};
    saved.replaceKeys(saved.addTrack("prism.spin"), keys, 4);
    saved.replaceKeys(saved.addTrack(oddName), keys + 1, 1);
    saved.addTrack("prism.empty");
    saved.setRowsPerBeat(6);
    saved.setBookmarks({0, 48, 96});
    QString error;
    ASSERT_TRUE(saveProject(path("p/proj.rocket"), saved, &error)) << error.toStdString();

    TrackerModel loaded;
    EXPECT_EQ(loadProject(path("p/proj.rocket"), loaded).status, LoadResult::Loaded);
    ASSERT_EQ(loaded.trackCount(), 3);
    EXPECT_EQ(loaded.trackName(1), oddName);
    EXPECT_EQ(loaded.rowsPerBeat(), 6);
    EXPECT_EQ(loaded.bookmarks(), (std::set<int32_t>{0, 48, 96}));
    EXPECT_EQ(loaded.keys(2).num_keys, 0);
    for (int t = 0; t < 2; ++t) {
        ASSERT_EQ(loaded.keys(t).num_keys, saved.keys(t).num_keys);
        for (int i = 0; i < saved.keys(t).num_keys; ++i) {
            const TrackKey& a = saved.keys(t).keys[i];
            const TrackKey& b = loaded.keys(t).keys[i];
            EXPECT_EQ(std::make_tuple(a.row, a.value, a.type), std::make_tuple(b.row, b.value, b.type));
        }
    }
    EXPECT_FALSE(loaded.isDirty());
    EXPECT_TRUE(read(path("p/proj.rocket")).contains("\"linear\""));
}

TEST_F(ProjectFileTest, FilesThatAreNotWholeProjectsGiveAnEmptyProjectAndStayUntouchedUntilSaved)
{
    TrackerModel full;
    full.replaceKeys(full.addTrack("a.x"), std::vector<TrackKey>{{0, 1.0f, 0}}.data(), 1);
    QString error;
    ASSERT_TRUE(saveProject(path("whole.rocket"), full, &error));
    const QByteArray whole = read(path("whole.rocket"));

    const std::pair<const char*, QByteArray> cases[] = {
        {"empty.rocket", QByteArray()},
        {"truncated.rocket", whole.left(whole.size() / 2)},
        {"foreign.rocket", QByteArray("{\"tracks\": []}")},
        {"binary.rocket", QByteArray("\x00\x01\x02\x03garbage", 11)},
    };
    for (const auto& [name, bytes] : cases) {
        write(path(name), bytes);
        TrackerModel model;
        model.addTrack("left.over");
        const LoadResult r = loadProject(path(name), model);
        EXPECT_EQ(r.status, LoadResult::Unreadable) << name;
        EXPECT_FALSE(r.message.isEmpty()) << name;
        EXPECT_EQ(model.trackCount(), 0) << name;
        EXPECT_EQ(read(path(name)), bytes) << name;
    }
    TrackerModel model;
    EXPECT_EQ(loadProject(path("missing.rocket"), model).status, LoadResult::Missing);
    EXPECT_FALSE(QFile::exists(path("missing.rocket")));

    // Saving over a file that could not be read keeps it as .bak.
    SyncServer server;
    TrackerSession session(model, server);
    session.openProject(path("foreign.rocket"));
    model.addTrack("new.track");
    ASSERT_TRUE(session.saveProject());
    EXPECT_EQ(read(path("foreign.rocket.bak")), QByteArray("{\"tracks\": []}"));
    TrackerModel again;
    EXPECT_EQ(loadProject(path("foreign.rocket"), again).status, LoadResult::Loaded);
    EXPECT_EQ(again.trackCount(), 1);
}

TEST_F(ProjectFileTest, DamagedPartsAreLeftOutByNameAndWhatTheEditorWritesAlwaysOpens)
{
    // What an older editor wrote for values from track files that held nan
    // (null), a value beyond a float, an interpolation of no name, and a
    // track without a name.
    const QByteArray damaged = "{\"tarvonicSyncProject\": 1, \"rowsPerBeat\": 8, \"bookmarks\": [4, \"x\"],\n"
                               " \"tracks\": [\n"
                               "  {\"name\": \"d.good\", \"keys\": [[0, 1, \"step\"]]},\n"
                               "  {\"name\": \"d.holes\", \"keys\": [[0, 2, \"linear\"], [16, null, \"step\"],\n"
                               "                            [24, 1e39, \"step\"], [32, 3, \"wobble\"], [40, 4, \"step\"]]},\n"
                               "  {\"keys\": [[0, 5, \"step\"]]}]}\n";
    write(path("d.rocket"), damaged);
    TrackerModel model;
    const LoadResult r = loadProject(path("d.rocket"), model);
    EXPECT_EQ(r.status, LoadResult::Damaged);
    ASSERT_EQ(model.trackCount(), 2);
    EXPECT_EQ(model.keys(0).num_keys, 1);
    const int holes = model.findTrack("d.holes");
    ASSERT_EQ(model.keys(holes).num_keys, 2);
    EXPECT_EQ(model.keyAt(holes, 40)->value, 4.0f);
    EXPECT_EQ(model.bookmarks(), std::set<int32_t>{4});
    for (const char* named : {"d.holes", "rows 16, 24", "track 3", "1 damaged keys", "bookmarks"})
        EXPECT_TRUE(r.message.contains(QLatin1String(named))) << named << ": " << r.message.toStdString();

    // The first save keeps the damaged file; what is saved opens whole.
    SyncServer server;
    TrackerSession session(model, server);
    session.openProject(path("d.rocket"));
    ASSERT_TRUE(session.saveProject());
    EXPECT_EQ(read(path("d.rocket.bak")), damaged);
    TrackerModel again;
    EXPECT_EQ(loadProject(path("d.rocket"), again).status, LoadResult::Loaded);
    EXPECT_EQ(again.keys(again.findTrack("d.holes")).num_keys, 2);

    // Nothing that is no number gets into a model, so none can be saved.
    const TrackKey odd[] = {{0, NAN, 0}, {1, INFINITY, 0}, {2, 1.0f, 0}};
    model.replaceKeys(0, odd, 3);
    EXPECT_EQ(model.keys(0).num_keys, 1);
    BatchBuilder b(model);
    b.set(0, 5, -INFINITY, 0);
    EXPECT_TRUE(b.finish(QStringLiteral("none")).empty());
}

TEST_F(ProjectFileTest, CollapsedGroupsWidthsAndTheCursorAreKept)
{
    TrackerModel model;
    SyncServer server;
    {
        TrackerSession session(model, server);
        session.openProject(path("v.rocket"));
        for (const char* name : {"v.a", "v.b", "w.c", "w.d"})
            model.addTrack(name);
        session.setCursor(77, session.layout().columnOfTrack(3));
        session.setColumnChars(session.column(), 30);
        session.setCursor(77, session.layout().columnOfTrack(0));
        session.toggleGroup(); // v collapsed
        session.setCursor(77, session.layout().columnOfTrack(3));
        ASSERT_TRUE(session.saveProject());
    }
    TrackerModel reopened;
    TrackerSession session(reopened, server);
    session.openProject(path("v.rocket"));
    ASSERT_EQ(session.layout().count(), 3); // +v, w.c, w.d
    EXPECT_EQ(session.layout().at(0).track, -1);
    EXPECT_EQ(session.row(), 77);
    EXPECT_EQ(session.cursorTrack(), reopened.findTrack("w.d"));
    EXPECT_EQ(session.columnChars(session.column()), 30);
    EXPECT_EQ(session.columnChars(1), default_column_chars);
}

TEST_F(ProjectFileTest, TheDemosTrackFilesAreImportedAsOneEdit)
{
    // Two keys, one with a type byte out of range; a file whose count
    // claims more keys than it holds; a file of another base name.
    write(path("sync/sync_prism.spin.track"),
          QByteArray::fromHex("02000000" "00000000" "0000803f" "01" "10000000" "00002040" "09"));
    write(path("sync/sync_prism.tilt.track"), QByteArray::fromHex("e8030000" "04000000" "00000040" "03"));
    // A key whose value is nan, beside a good one: the good one comes in.
    write(path("sync/sync_prism.wild.track"),
          QByteArray::fromHex("02000000" "08000000" "0000c07f" "00" "0c000000" "0000803f" "00"));
    write(path("sync/other_x.track"), QByteArray::fromHex("00000000"));

    EXPECT_EQ(listTrackFiles(dir_.path()), (std::vector<std::string>{"prism.spin", "prism.tilt", "prism.wild"}));
    TrackerModel model;
    SyncServer server;
    TrackerSession session(model, server);
    std::vector<EditBatch> history;
    session.submit = [&](const EditBatch& b) {
        history.push_back(b);
        model.apply(b);
    };
    session.setDemoDir(dir_.path());
    QStringList messages;
    QObject::connect(&session, &TrackerSession::statusMessage, [&](const QString& m) { messages << m; });
    model.replaceKeys(model.addTrack("prism.spin"), std::vector<TrackKey>{{5, 9.0f, 0}}.data(), 1);
    EXPECT_EQ(session.importTrackFiles(), 3);
    ASSERT_EQ(history.size(), 1u);
    const int wild = model.findTrack("prism.wild");
    ASSERT_EQ(model.keys(wild).num_keys, 1);
    EXPECT_EQ(model.keyAt(wild, 12)->value, 1.0f);
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.back().contains(QStringLiteral("prism.wild")) && messages.back().contains(QStringLiteral("row 8")))
        << messages.back().toStdString();

    const int spin = model.findTrack("prism.spin");
    const int tilt = model.findTrack("prism.tilt");
    ASSERT_EQ(model.keys(spin).num_keys, 2); // the file replaces the track's keys
    EXPECT_EQ(model.keyAt(spin, 16)->value, 2.5f);
    EXPECT_EQ(model.keyAt(spin, 16)->type, 9);
    ASSERT_EQ(model.keys(tilt).num_keys, 1);
    EXPECT_EQ(model.keyAt(tilt, 4)->value, 2.0f);

    model.apply(history[0], false);
    EXPECT_EQ(model.keyAt(spin, 5)->value, 9.0f);
    EXPECT_EQ(model.keys(tilt).num_keys, 0);
}

} // namespace
