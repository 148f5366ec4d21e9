#include "state/ActiveSkeneList.h"

#include "state/SkeneSetups.h"
#include "state/rocket_flags.h"

#include "support/FreshState.h"
#include "support/RecordingNotifier.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace fs = std::filesystem;

namespace {

using Entries = std::vector<ActiveSkene>;

// The bytes of a string literal, embedded NULs included.
template <size_t N>
std::string bytes(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

// The names and indices of entries, for readable failures.
std::string describe(const Entries& entries)
{
    std::string out;
    for (const auto& e : entries)
        out += e.name + ":" + std::to_string(e.rocketIndex) + " ";
    return out;
}

std::string listNow()
{
    return describe(activeSkeneList().entries);
}

// A temporary demo whose active setup path is fx/_ActiveSkeneSetups/test.as.
struct SetupFixture : FreshStateTest {
    TempDemo demo;
    std::string setupPath;
    void SetUp() override
    {
        demo.makeDir("fx/_ActiveSkeneSetups");
        setupPath = demo.path("fx/_ActiveSkeneSetups/test.as");
        activeSkeneList().setupPath = setupPath;
    }
    void setList(const Entries& entries) { activeSkeneList().entries = entries; }
};

} // namespace

TEST(SetupFileFormat, TwoSkenesGiveExactBytes)
{
    const std::string expected = bytes("skene:intro\0port:1\0\nskene:tunnel\0port:12\0\n");
    EXPECT_EQ(formatActiveSkenes({{"intro", 1}, {"tunnel", 12}}), expected);
    EXPECT_EQ(formatActiveSkenes({}), "");
}

TEST_F(SetupFixture, WriteThenReadRoundTripsBytesAndEntries)
{
    setList({{"intro", 1}, {"tunnel", 12}, {"outro", 3}});
    ASSERT_TRUE(writeActiveSkenes());
    EXPECT_EQ(readTextFile(setupPath), formatActiveSkenes(activeSkeneList().entries));

    setList({{"stale", 7}});
    ASSERT_TRUE(readActiveSkenes());
    EXPECT_EQ(listNow(), "intro:1 tunnel:12 outro:3 ");

    // Nothing but the setup file is left in the folder: the temporary file
    // of the write was renamed over it.
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(demo.path("fx/_ActiveSkeneSetups")))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"test.as"});
}

TEST(SetupFileReader, DropsRecordsWithBadPortOrEmptyName)
{
    const std::string file = bytes("skene:a\0port:0\0\n"
                                   "skene:b\0port:-1\0\n"
                                   "skene:\0port:4\0\n"
                                   "skene:c\0port:abc\0\n"
                                   "skene:d\0port:5\0\n"
                                   "port:6\0\n"
                                   "skene:e\0port:99999999999\0\n"
                                   "skene:f\0port: 7x\0\n");
    // Port text reads like the C library reads a number: blanks, digits,
    // anything after them ignored.
    EXPECT_EQ(describe(parseActiveSkenes(file)), "d:5 f:7 ");
}

TEST(SetupFileReader, AcceptsCrLfAndMissingFinalLineFeed)
{
    EXPECT_EQ(describe(parseActiveSkenes(bytes("skene:a\0port:1\0\r\nskene:b\0port:2\0\r\n"))), "a:1 b:2 ");
    EXPECT_EQ(describe(parseActiveSkenes(bytes("skene:a\0port:1\0\nskene:b\0port:2\0"))), "a:1 b:2 ");
    // A last field cut off before its NUL is not a field.
    EXPECT_EQ(describe(parseActiveSkenes(bytes("skene:a\0port:1\0\nskene:b\0port:2"))), "a:1 ");
    // Field order within a record does not matter; text before a line feed
    // without a NUL is not a field.
    EXPECT_EQ(describe(parseActiveSkenes(bytes("port:3\0skene:z\0\nskene:y\nport:4\0\n"))), "z:3 ");
}

TEST(SetupFileReader, OverlongFieldDropsItsRecordOnly)
{
    const std::string longName(kSetupFieldMaxBytes - 6 + 1, 'n'); // one byte over with "skene:"
    const std::string fitName(kSetupFieldMaxBytes - 6, 'm');
    std::string file = bytes("skene:a\0port:1\0\n");
    file += "skene:" + longName + bytes("\0port:2\0\n");
    file += "skene:" + fitName + bytes("\0port:3\0\n");
    file += bytes("skene:b\0port:") + std::string(600, '4') + bytes("\0\n");
    file += bytes("skene:c\0port:5\0\n");
    const Entries entries = parseActiveSkenes(file);
    ASSERT_EQ(entries.size(), 3u) << describe(entries);
    EXPECT_EQ(entries[0].name, "a");
    EXPECT_EQ(entries[1].name, fitName);
    EXPECT_EQ(entries[1].rocketIndex, 3);
    EXPECT_EQ(entries[2].name, "c");
}

TEST_F(SetupFixture, EmptyFileEmptiesListAndUnreadableFileKeepsIt)
{
    setList({{"intro", 1}});
    activeSkeneList().setupPath = demo.path("fx/_ActiveSkeneSetups/missing.as");
    EXPECT_FALSE(readActiveSkenes());
    EXPECT_EQ(listNow(), "intro:1 ");

    activeSkeneList().setupPath = demo.path("fx/_ActiveSkeneSetups");
    EXPECT_FALSE(readActiveSkenes());
    EXPECT_EQ(listNow(), "intro:1 ");

    demo.write("fx/_ActiveSkeneSetups/test.as", "");
    activeSkeneList().setupPath = setupPath;
    EXPECT_TRUE(readActiveSkenes());
    EXPECT_EQ(listNow(), "");
}

TEST_F(SetupFixture, SingleRocketModeKeepsStoredIndicesAndRoutesToRocketZero)
{
    rocket_flags().multi_rocket = false;
    demo.write("fx/_ActiveSkeneSetups/test.as", bytes("skene:a\0port:3\0\nskene:b\0port:1\0\n"));
    ASSERT_TRUE(readActiveSkenes());
    EXPECT_EQ(listNow(), "a:3 b:1 ");
    EXPECT_EQ(effectiveRocketIndex("a"), 0);
    EXPECT_EQ(effectiveRocketIndex("b"), 0);

    // Editing in single-rocket mode writes the stored indices, so the next
    // read still finds every skene.
    ASSERT_TRUE(addActiveSkene("c"));
    rocket_flags().multi_rocket = true;
    setList({});
    ASSERT_TRUE(readActiveSkenes());
    EXPECT_EQ(listNow(), "a:3 b:1 c:2 ");
    EXPECT_EQ(effectiveRocketIndex("a"), 3);
    EXPECT_EQ(effectiveRocketIndex("unknown"), 0);
}

TEST_F(SetupFixture, AddTakesSmallestFreeIndexAndWritesTheFile)
{
    setList({{"a", 1}, {"b", 2}, {"d", 4}});
    ASSERT_TRUE(addActiveSkene("c"));
    EXPECT_EQ(listNow(), "a:1 b:2 d:4 c:3 ");
    EXPECT_EQ(readTextFile(setupPath), formatActiveSkenes(activeSkeneList().entries));
    EXPECT_TRUE(isActiveSkene("c"));
    EXPECT_FALSE(isActiveSkene("C"));

    // Already active, or not storable: nothing changes.
    EXPECT_FALSE(addActiveSkene("a"));
    EXPECT_FALSE(addActiveSkene(""));
    EXPECT_FALSE(addActiveSkene("two\nlines"));
    EXPECT_FALSE(addActiveSkene(bytes("nul\0name")));
    EXPECT_EQ(listNow(), "a:1 b:2 d:4 c:3 ");
}

TEST_F(SetupFixture, AddDoesNothingWhenEveryIndexIsTaken)
{
    Entries full;
    for (int i = kFirstRocketIndex; i <= kLastRocketIndex; ++i)
        full.push_back({"s" + std::to_string(i), i});
    setList(full);
    EXPECT_FALSE(addActiveSkene("extra"));
    EXPECT_EQ(activeSkeneList().entries.size(), 99u);
    EXPECT_FALSE(fs::exists(setupPath));
}

TEST_F(SetupFixture, RemoveTakesFirstExactMatchAndWritesOnlyWhenFound)
{
    setList({{"a", 1}, {"b", 2}, {"a", 3}});
    EXPECT_FALSE(removeActiveSkene("A"));
    EXPECT_FALSE(fs::exists(setupPath));
    EXPECT_TRUE(removeActiveSkene("a"));
    EXPECT_EQ(listNow(), "b:2 a:3 ");
    EXPECT_EQ(readTextFile(setupPath), formatActiveSkenes(activeSkeneList().entries));
}

TEST_F(SetupFixture, MoveUsesDropPositions)
{
    const Entries four = {{"a", 1}, {"b", 2}, {"c", 3}, {"d", 4}};
    setList(four);
    ASSERT_TRUE(moveActiveSkene("a", 3));
    EXPECT_EQ(listNow(), "b:2 c:3 a:1 d:4 ");
    EXPECT_EQ(readTextFile(setupPath), formatActiveSkenes(activeSkeneList().entries));

    setList(four);
    ASSERT_TRUE(moveActiveSkene("d", 0));
    EXPECT_EQ(listNow(), "d:4 a:1 b:2 c:3 ");

    setList(four);
    ASSERT_TRUE(moveActiveSkene("b", 4)); // past the end of the shortened list
    EXPECT_EQ(listNow(), "a:1 c:3 d:4 b:2 ");

    setList(four);
    ASSERT_TRUE(moveActiveSkene("c", 100));
    EXPECT_EQ(listNow(), "a:1 b:2 d:4 c:3 ");

    setList(four);
    ASSERT_TRUE(moveActiveSkene("c", -5));
    EXPECT_EQ(listNow(), "c:3 a:1 b:2 d:4 ");

    setList(four);
    // Dropped before itself or before its successor, it stays.
    ASSERT_TRUE(moveActiveSkene("b", 1));
    EXPECT_EQ(listNow(), "a:1 b:2 c:3 d:4 ");
    ASSERT_TRUE(moveActiveSkene("b", 2));
    EXPECT_EQ(listNow(), "a:1 b:2 c:3 d:4 ");
    ASSERT_TRUE(moveActiveSkene("a", 0));
    EXPECT_EQ(listNow(), "a:1 b:2 c:3 d:4 ");

    EXPECT_FALSE(moveActiveSkene("e", 0));
}

TEST_F(SetupFixture, UnwritableFileKeepsChangeInMemoryWithoutMessage)
{
    RecordingNotifier& boxes = installRecordingNotifier();
    activeSkeneList().setupPath = demo.path("fx/no-such-dir/test.as");
    setList({{"a", 1}});
    EXPECT_FALSE(writeActiveSkenes());
    EXPECT_TRUE(addActiveSkene("b"));
    EXPECT_TRUE(moveActiveSkene("b", 0));
    EXPECT_TRUE(removeActiveSkene("a"));
    EXPECT_EQ(listNow(), "b:2 ");
    EXPECT_TRUE(boxes.boxes.empty());
}

TEST(SkeneListings, FilterAndListingOrder)
{
    TempDemo demo;
    demo.write("fx/_ActiveSkeneSetups/party.as", "");
    demo.write("fx/_ActiveSkeneSetups/Big.as", "");
    demo.write("fx/_ActiveSkeneSetups/old.as.bak", "");
    demo.write("fx/_ActiveSkeneSetups/.hidden.as", "");
    demo.write("fx/_ActiveSkeneSetups/notes.txt", "");
    EXPECT_EQ(listSetupFiles(demo.path("fx/_ActiveSkeneSetups")),
              (std::vector<std::string>{"Big.as", "old.as.bak", "party.as"}));

    demo.makeDir("fx/tunnel");
    demo.makeDir("fx/Intro");
    demo.makeDir("fx/_SharedQML");
    demo.makeDir("fx/.git");
    demo.write("fx/main.qml", "");
    demo.write("fx/README", ""); // an extension-less file counts too
    EXPECT_EQ(listSkeneDirectories(demo.path("fx")),
              (std::vector<std::string>{"Intro", "README", "tunnel", "_ActiveSkeneSetups", "_SharedQML"}));
    EXPECT_TRUE(listSkeneDirectories(demo.path("nowhere")).empty());
}

TEST(CurrentSetupFile, StoredWithoutLineEndAndReadWithoutAnEditorsLineEnd)
{
    TempDemo demo;
    const std::string fx = demo.path("fx");
    demo.makeDir("fx");
    EXPECT_EQ(readCurrentSetupName(fx), ""); // missing file

    ASSERT_TRUE(writeCurrentSetupName(fx, "party.as"));
    EXPECT_EQ(readTextFile(fx + "/currentActiveScenesSetup.cfg"), "party.as");
    EXPECT_EQ(readCurrentSetupName(fx), "party.as");

    // One line end that a text editor added is dropped, whatever its kind.
    for (const char* end : {"\n", "\r\n", "\r"}) {
        demo.write("fx/currentActiveScenesSetup.cfg", std::string("party.as") + end);
        EXPECT_EQ(readCurrentSetupName(fx), "party.as");
    }
    demo.write("fx/currentActiveScenesSetup.cfg", "party.as\n\n");
    EXPECT_EQ(readCurrentSetupName(fx), "party.as\n");
    EXPECT_EQ(setupFilePath(fx, "party.as"), fx + "/_ActiveSkeneSetups/party.as");

    // A folder in its place (it opens on Linux) reads as no name.
    std::filesystem::remove(demo.path("fx/currentActiveScenesSetup.cfg"));
    demo.makeDir("fx/currentActiveScenesSetup.cfg");
    EXPECT_EQ(readCurrentSetupName(fx), "");
}

TEST(CurrentSetupFile, StartDialogListsCurrentSetupFirst)
{
    const std::vector<std::string> files = {"a.as", "b.as", "c.as", "b.as.bak"};
    EXPECT_EQ(orderSetupFiles(files, "c.as"), (std::vector<std::string>{"c.as", "a.as", "b.as", "b.as.bak"}));
    EXPECT_EQ(orderSetupFiles(files, ""), files);
    EXPECT_EQ(orderSetupFiles(files, "gone.as"), files);
}
