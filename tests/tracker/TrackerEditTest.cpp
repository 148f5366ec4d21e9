// Editing without a demo: what each action does to the keys, and that the
// history takes every edit back and forth exactly.
#include "support/QtTestApp.h"
#include "tracker/lib/EditorOptions.h"
#include "tracker/lib/KeyClipboard.h"
#include "tracker/lib/TrackerSession.h"
#include "tracker/lib/displayText.h"

#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace tracker;

namespace {

using Cell = std::tuple<std::string, int32_t, float, int32_t>;

struct Snapshot {
    std::vector<Cell> keys;
    std::set<int32_t> bookmarks;
    bool operator==(const Snapshot& o) const { return keys == o.keys && bookmarks == o.bookmarks; }
};

class TrackerEditTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ensureQtApp();
        session_.submit = [this](const EditBatch& b) {
            history_.push_back(b);
            model_.apply(b);
        };
        a_ = addTrack("g.a", {{0, 1.0f, 1}, {8, 2.0f, 0}});
        b_ = addTrack("g.b", {{4, 5.0f, 2}});
        addTrack("h.c", {});
    }
    int addTrack(const std::string& name, std::vector<TrackKey> keys)
    {
        const int t = model_.addTrack(name);
        model_.replaceKeys(t, keys.data(), int(keys.size()));
        return t;
    }
    Snapshot snapshot() const
    {
        Snapshot s;
        for (int t = 0; t < model_.trackCount(); ++t) {
            const SyncTrack& k = model_.keys(t);
            for (int i = 0; i < k.num_keys; ++i)
                s.keys.emplace_back(model_.trackName(t), k.keys[i].row, k.keys[i].value, k.keys[i].type);
        }
        s.bookmarks = model_.bookmarks();
        return s;
    }
    std::vector<Cell> keysOf(int track) const
    {
        std::vector<Cell> out;
        for (const Cell& c : snapshot().keys) {
            if (std::get<0>(c) == model_.trackName(track))
                out.push_back(c);
        }
        return out;
    }
    void at(int32_t row, int track, bool extend = false)
    {
        session_.setCursor(row, session_.layout().columnOfTrack(track), extend);
    }

    TrackerModel model_;
    SyncServer server_; // not listening: no demo
    TrackerSession session_{model_, server_};
    std::vector<EditBatch> history_;
    int a_ = 0, b_ = 0;
};

TEST_F(TrackerEditTest, EachActionEditsTheKeysAndTheHistoryTakesEveryEditBackAndForth)
{
    std::vector<Snapshot> states{snapshot()};
    auto step = [&] { states.push_back(snapshot()); };

    at(2, a_);
    ASSERT_TRUE(session_.setValue(1.5f)); // inside a linear segment: linear
    step();
    at(8, a_);
    ASSERT_TRUE(session_.setValue(3.0f)); // replaces a step key: stays step
    step();
    EXPECT_EQ(keysOf(a_), (std::vector<Cell>{{"g.a", 0, 1.0f, 1}, {"g.a", 2, 1.5f, 1}, {"g.a", 8, 3.0f, 0}}));

    at(5, a_);
    session_.cycleInterpolation(); // the key at or before the cursor: row 2
    step();
    EXPECT_EQ(model_.keyAt(a_, 2)->type, int(KeyType::Smooth));

    // Copy rows 0..8 of g.a and g.b, paste at row 20.
    at(0, a_);
    at(8, b_, true);
    const QString copied = session_.copy();
    at(20, a_);
    session_.paste(copied);
    step();
    EXPECT_EQ(keysOf(b_), (std::vector<Cell>{{"g.b", 4, 5.0f, 2}, {"g.b", 24, 5.0f, 2}}));
    EXPECT_EQ(model_.keyAt(a_, 28)->value, 3.0f);

    // Move the pasted block down a row; the selection goes with it.
    at(20, a_);
    at(28, b_, true);
    session_.moveKeys(1);
    step();
    EXPECT_EQ(keysOf(b_), (std::vector<Cell>{{"g.b", 4, 5.0f, 2}, {"g.b", 25, 5.0f, 2}}));
    EXPECT_EQ(model_.keyAt(a_, 20), nullptr);
    EXPECT_EQ(model_.keyAt(a_, 29)->value, 3.0f);
    EXPECT_EQ(session_.selection().firstRow, 21);
    EXPECT_EQ(session_.selection().lastRow, 29);

    const QString cut = session_.cut();
    step();
    EXPECT_EQ(keysOf(b_).size(), 1u);
    at(40, b_);
    session_.paste(cut); // the cut block lands again, from g.b onwards
    step();
    EXPECT_EQ(model_.keyAt(b_, 48)->value, 3.0f);
    EXPECT_EQ(model_.keyAt(model_.findTrack("h.c"), 44)->value, 5.0f);

    session_.toggleBookmark();
    step();
    at(0, a_);
    session_.deleteKeys();
    step();
    EXPECT_EQ(model_.keyAt(a_, 0), nullptr);
    EXPECT_EQ(model_.bookmarks(), std::set<int32_t>{40});

    ASSERT_EQ(history_.size(), states.size() - 1);
    for (size_t i = history_.size(); i-- > 0;) {
        model_.apply(history_[i], false);
        EXPECT_EQ(snapshot(), states[i]) << "undoing " << history_[i].text.toStdString();
    }
    for (size_t i = 0; i < history_.size(); ++i)
        model_.apply(history_[i], true);
    EXPECT_EQ(snapshot(), states.back());
}

TEST_F(TrackerEditTest, NothingIsEditedOutsideATrackOrWithoutANumber)
{
    at(3, a_);
    EXPECT_FALSE(session_.setValue(std::nanf("")));
    EXPECT_FALSE(session_.setValue(INFINITY));
    session_.moveKeys(-10); // would leave row 0 behind
    session_.toggleGroup(); // the cursor now sits on the collapsed "g"
    EXPECT_EQ(session_.cursorTrack(), -1);
    EXPECT_FALSE(session_.setValue(1.0f));
    session_.deleteKeys();
    EXPECT_TRUE(history_.empty());
}

TEST_F(TrackerEditTest, ColumnsAreGroupedByDottedPrefixAndGroupsCollapse)
{
    addTrack("b.y", {});
    addTrack("g.z", {});
    addTrack("plain", {});
    addTrack("g.sub.w", {});
    auto names = [&] {
        std::vector<std::string> out;
        for (int c = 0; c < session_.layout().count(); ++c) {
            const Column col = session_.layout().at(c);
            out.push_back(col.track >= 0 ? model_.trackName(col.track) : "+" + session_.layout().groupName(col.group));
        }
        return out;
    };
    EXPECT_EQ(names(), (std::vector<std::string>{"g.a", "g.b", "g.z", "h.c", "b.y", "plain", "g.sub.w"}));
    at(0, b_);
    session_.toggleGroup();
    EXPECT_EQ(names(), (std::vector<std::string>{"+g", "h.c", "b.y", "plain", "g.sub.w"}));
    EXPECT_EQ(session_.column(), 0);
    session_.toggleGroup();
    EXPECT_EQ(names().size(), 7u);
}

TEST_F(TrackerEditTest, PastedTextIsCheckedAndWhatHoldsNoNumberIsLeftOutByName)
{
    QStringList messages;
    QObject::connect(&session_, &TrackerSession::statusMessage, [&](const QString& m) { messages << m; });
    at(10, a_);
    ASSERT_TRUE(session_.paste(QStringLiteral("sync-keys\t2 tracks\t3 rows\n"
                                              "row\ttrack\tvalue\tinterpolation\tname\n"
                                              "0\t0\t1e-3\tramp\n"
                                              "1\t1\tnan\tstep\n"
                                              "2\t1\t1e39\tlinear\tx\n")));
    EXPECT_EQ(model_.keyAt(a_, 10)->value, 0.001f);
    EXPECT_EQ(model_.keyAt(a_, 10)->type, int(KeyType::Ramp));
    EXPECT_EQ(model_.keyAt(b_, 11), nullptr);
    EXPECT_EQ(model_.keyAt(b_, 12), nullptr);
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.back().contains(QStringLiteral("2 keys"))) << messages.back().toStdString();
    EXPECT_TRUE(messages.back().contains(QStringLiteral("g.b at row 11"))) << messages.back().toStdString();

    // Blocks that claim what they do not hold, or are not blocks at all.
    const size_t edits = history_.size();
    for (const char* text : {"sync-keys\t1 tracks\t2 rows\n5\t0\t1\tstep\n",  // a row outside
                             "sync-keys\t1 tracks\t2 rows\n0\t3\t1\tstep\n",  // a track outside
                             "sync-keys\t0 tracks\t2 rows\n",                  // no tracks
                             "sync-keys\t1 tracks\t99999999 rows\n",           // beyond the last row
                             "sync-keys\t1 tracks\t2 rows\n0\t0\tten\tstep\n", // no number
                             "sync-keys\t1 tracks\t2 rows\n0\t0\t1\twobble\n", "1.5\n2.5\n"})
        EXPECT_FALSE(session_.paste(QString::fromLatin1(text))) << text;
    EXPECT_EQ(history_.size(), edits);

    // A copied block reads back exactly, odd floats and all.
    model_.replaceKeys(a_, std::vector<TrackKey>{{0, 1.0f / 3.0f, 4}, {2, -1.0e-30f, 9}}.data(), 2);
    at(0, a_);
    at(2, a_, true);
    KeyBlock block;
    std::vector<RefusedKey> refused;
    QString why;
    ASSERT_TRUE(parseKeyBlock(session_.copy(), max_row + 1, &block, &refused, &why)) << why.toStdString();
    ASSERT_EQ(block.keys.size(), 2u);
    EXPECT_EQ(block.keys[0].value, 1.0f / 3.0f);
    EXPECT_EQ(block.keys[1].value, -1.0e-30f);
    EXPECT_EQ(block.keys[1].type, 9);
    EXPECT_TRUE(refused.empty());
}

TEST(TrackerTextTest, ValuesRowsAndTimesAreReadAsAnAuthorWritesThem)
{
    float v = 0.0f;
    EXPECT_EQ(parseKeyValue(QStringLiteral("1e-3"), &v), ValueText::Number);
    EXPECT_EQ(v, 0.001f);
    EXPECT_EQ(parseKeyValue(QStringLiteral("-2.5"), &v), ValueText::Number);
    EXPECT_EQ(v, -2.5f);
    for (const char* t : {"1e39", "-1e39", "nan", "inf"})
        EXPECT_EQ(parseKeyValue(QString::fromLatin1(t), &v), ValueText::NotFinite) << t;
    for (const char* t : {"", "-", "1.2.3", "e5"})
        EXPECT_EQ(parseKeyValue(QString::fromLatin1(t), &v), ValueText::NotANumber) << t;

    int32_t row = -1;
    EXPECT_TRUE(parseRowOrTime(QStringLiteral(" 120 "), &row));
    EXPECT_EQ(row, 120);
    EXPECT_TRUE(parseRowOrTime(QStringLiteral("1:00"), &row));
    EXPECT_EQ(row, 704); // 60 s of 11.7333 rows a second
    EXPECT_TRUE(parseRowOrTime(QStringLiteral("1.5s"), &row));
    EXPECT_EQ(row, 17);
    for (const char* t : {"-3", "1:75", "x", "99999999", "1e9s", ""})
        EXPECT_FALSE(parseRowOrTime(QString::fromLatin1(t), &row)) << t;
}

TEST(TrackerTextTest, NamesFromTheDemoAreShownSafely)
{
    EXPECT_EQ(displayName("prism.glow"), QStringLiteral("prism.glow"));
    EXPECT_EQ(displayName("a\nb\x1b[2J"), QStringLiteral("a\\x0ab\\x1b[2J"));
    EXPECT_EQ(displayName(std::string("x\xff\xc3", 3)), QStringLiteral("x\\xff\\xc3"));
    EXPECT_EQ(displayName("caf\xc3\xa9 \xe2\x80\xae"), QStringLiteral("caf\u00e9 \\xe2\\x80\\xae"));
    const QString longName = displayName(std::string(100000, 'n'), 200);
    EXPECT_EQ(longName.size(), 201);
    EXPECT_TRUE(longName.endsWith(QChar(0x2026)));
}

TEST(TrackerOptionsTest, TheDemosCommandLineIsUnderstood)
{
    const EditorOptions o = parseEditorOptions(
        {QStringLiteral("-port:1339"), QStringLiteral("-file:fx/intro/Skene.rocket"), QStringLiteral("-windowHeight:-720")});
    EXPECT_EQ(o.port, 1339);
    EXPECT_EQ(o.file, QStringLiteral("fx/intro/Skene.rocket"));
    EXPECT_EQ(o.windowHeight, 720);
    EXPECT_TRUE(o.error.isEmpty());
    EXPECT_EQ(parseEditorOptions({}).port, 1338);
    EXPECT_FALSE(parseEditorOptions({QStringLiteral("-port:70000")}).error.isEmpty());
    EXPECT_EQ(parseEditorOptions({QStringLiteral("-music:../song.mp3")}).music, QStringLiteral("../song.mp3"));
    EXPECT_FALSE(parseEditorOptions({QStringLiteral("-music:")}).error.isEmpty());
    EXPECT_FALSE(parseEditorOptions({QStringLiteral("-bogus")}).error.isEmpty());
    EXPECT_TRUE(parseEditorOptions({QStringLiteral("--help")}).help);
    EXPECT_TRUE(parseEditorOptions({QStringLiteral("--version")}).version);
}

TEST(TrackerOptionsTest, ADesktopNamesTheProjectFileAlone)
{
    const EditorOptions o = parseEditorOptions({QStringLiteral("/home/me/demo/lumenfall.rocket")});
    EXPECT_EQ(o.file, QStringLiteral("/home/me/demo/lumenfall.rocket"));
    EXPECT_EQ(o.port, 1338);
    EXPECT_TRUE(o.error.isEmpty());
    EXPECT_FALSE(parseEditorOptions({QStringLiteral("a.rocket"), QStringLiteral("b.rocket")}).error.isEmpty());
}

} // namespace
