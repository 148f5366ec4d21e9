#include "platform/AssetFile.h"

#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace {

struct PackEntry {
    std::string name;
    std::string content;
};

std::string packEntry(const std::string& name, const std::string& content, uint32_t length)
{
    std::string bytes = name;
    bytes.push_back('\0');
    for (int i = 0; i < 4; ++i)
        bytes.push_back(char((length >> (8 * i)) & 0xff));
    return bytes + content;
}

std::string pack(const std::vector<PackEntry>& entries)
{
    std::string bytes;
    for (const auto& e : entries)
        bytes += packEntry(e.name, e.content, uint32_t(e.content.size()));
    return bytes;
}

// One call's outcome, with the buffer released.
struct Loaded {
    int result = -1;
    size_t size = 999;
    std::string content;
    bool terminated = false; // a NUL right after the content
    bool empty = true;       // the slot was left empty
};

Loaded load(const std::string& path, bool textMode)
{
    Loaded l;
    char* data = nullptr;
    l.result = loadAssetFile(path.c_str(), &data, &l.size, textMode);
    l.empty = data == nullptr;
    if (data) {
        l.content.assign(data, l.size);
        l.terminated = textMode && data[l.size] == '\0';
    }
    delete[] data;
    return l;
}

class AssetFileTest : public ::testing::Test {
protected:
    void SetUp() override { demo.enter(); }
    TempDemo demo;
};

TEST_F(AssetFileTest, LooseFileWinsOverAPackEntryOfTheSameName)
{
    demo.write("fx/a/Plasma.frag", "loose");
    demo.write("datapack.dat", pack({{"fx/a/Plasma.frag", "packed"}}));

    const Loaded l = load("fx/a/Plasma.frag", false);
    EXPECT_EQ(l.result, AssetFromLooseFile);
    EXPECT_EQ(l.content, "loose");
    EXPECT_EQ(l.size, 5u);
}

TEST_F(AssetFileTest, EmptyLooseFileInBothModes)
{
    demo.write("empty.frag", "");

    const Loaded binary = load("empty.frag", false);
    EXPECT_EQ(binary.result, AssetFromLooseFile);
    EXPECT_EQ(binary.size, 0u);
    EXPECT_FALSE(binary.empty);

    const Loaded text = load("empty.frag", true);
    EXPECT_EQ(text.result, AssetFromLooseFile);
    EXPECT_EQ(text.size, 0u);
    EXPECT_TRUE(text.terminated);
}

TEST_F(AssetFileTest, TextModeTerminatesWithoutCountingTheNul)
{
    demo.write("a.vert", "void main() {}");
    demo.write("datapack.dat", pack({{"shaders/b.vert", "packed text"}}));

    const Loaded loose = load("a.vert", true);
    EXPECT_EQ(loose.size, 14u);
    EXPECT_TRUE(loose.terminated);

    const Loaded packed = load("b.vert", true);
    EXPECT_EQ(packed.result, AssetFromDataPack);
    EXPECT_EQ(packed.content, "packed text");
    EXPECT_TRUE(packed.terminated);
}

TEST_F(AssetFileTest, PackEntriesMatchBySubstringAndTheFirstMatchWins)
{
    demo.write("datapack.dat", pack({{"fx/one/Other.frag", "other"},
                                     {"fx/one/Plasma.frag", "first"},
                                     {"fx/two/Plasma.frag", "second"}}));

    const Loaded l = load("Plasma.frag", false);
    EXPECT_EQ(l.result, AssetFromDataPack);
    EXPECT_EQ(l.content, "first");

    EXPECT_EQ(load("two/Plasma.frag", false).content, "second");
    EXPECT_EQ(load("Missing.frag", false).result, AssetNotFound);
}

TEST_F(AssetFileTest, ZeroByteEntryIsFoundAndTheWalkGoesOnPastIt)
{
    demo.write("datapack.dat", pack({{"zero.txt", ""}, {"after.txt", "after"}}));

    const Loaded zero = load("zero.txt", true);
    EXPECT_EQ(zero.result, AssetFromDataPack);
    EXPECT_EQ(zero.size, 0u);
    EXPECT_TRUE(zero.terminated);
    EXPECT_EQ(load("after.txt", false).content, "after");
}

TEST_F(AssetFileTest, NothingFoundLeavesTheSlotEmptyAndReleasesTheOldBuffer)
{
    demo.write("present.txt", "x");
    char* data = nullptr;
    size_t size = 0;
    ASSERT_EQ(loadAssetFile("present.txt", &data, &size, false), AssetFromLooseFile);
    ASSERT_NE(data, nullptr);

    // Neither a loose file nor a pack.
    EXPECT_EQ(loadAssetFile("absent.txt", &data, &size, false), AssetNotFound);
    EXPECT_EQ(data, nullptr);
    EXPECT_EQ(size, 0u);

    // The empty path would be a substring of every stored name.
    demo.write("datapack.dat", pack({{"anything", "a"}}));
    EXPECT_EQ(loadAssetFile("", &data, &size, false), AssetNotFound);
    EXPECT_EQ(data, nullptr);
}

TEST_F(AssetFileTest, ADirectoryIsNotALooseFile)
{
    demo.makeDir("shaders");
    demo.write("datapack.dat", pack({{"shaders", "packed"}}));

    EXPECT_EQ(load("shaders", false).result, AssetFromDataPack);
}

// Cut the pack after every byte: an entry is found exactly when the whole of
// it is inside what is left, and nothing past the end is ever read.
TEST_F(AssetFileTest, TruncatedPackEndsTheSearchWhereverItIsCut)
{
    const std::vector<PackEntry> entries = {{"a.frag", "alpha"}, {"b.frag", ""}, {"c.frag", "gamma!"}};
    const std::string full = pack(entries);
    std::vector<size_t> ends;
    size_t end = 0;
    for (const auto& e : entries) {
        end += e.name.size() + 1 + 4 + e.content.size();
        ends.push_back(end);
    }

    for (size_t cut = 0; cut <= full.size(); ++cut) {
        demo.write("datapack.dat", full.substr(0, cut));
        for (size_t i = 0; i < entries.size(); ++i) {
            const Loaded l = load(entries[i].name, false);
            const bool whole = cut >= ends[i];
            EXPECT_EQ(l.result, whole ? AssetFromDataPack : AssetNotFound) << "cut at " << cut << ", entry " << i;
            if (whole)
                EXPECT_EQ(l.content, entries[i].content);
            else
                EXPECT_TRUE(l.empty);
        }
    }
}

TEST_F(AssetFileTest, LengthBeyondTheEndOfThePackIsNotTrusted)
{
    std::string bytes = pack({{"first.txt", "one"}});
    bytes += packEntry("huge.txt", "only a little", 0xffffffffu);
    demo.write("datapack.dat", bytes);

    const Loaded huge = load("huge.txt", false);
    EXPECT_EQ(huge.result, AssetNotFound);
    EXPECT_TRUE(huge.empty);
    EXPECT_EQ(huge.size, 0u);
    EXPECT_EQ(load("first.txt", false).content, "one");
}

TEST_F(AssetFileTest, NamesAreMatchedOnTheirFirst254BytesAndSkippedToTheirEnd)
{
    // A name may hold 254 bytes; beyond that (a damaged pack, or a name with
    // no NUL for megabytes) nothing more is kept or matched.
    const std::string longName = std::string(600, 'd') + "/deep.frag";
    demo.write("datapack.dat", pack({{longName, "deep"}, {"next.frag", "next"}}));

    EXPECT_EQ(load("deep.frag", false).result, AssetNotFound);
    EXPECT_EQ(load(std::string(254, 'd'), false).content, "deep");
    EXPECT_EQ(load(std::string(255, 'd'), false).result, AssetNotFound);
    EXPECT_EQ(load("next.frag", false).content, "next");
}

TEST_F(AssetFileTest, NameWithoutItsNulAtTheEndIsNotAnEntry)
{
    demo.write("datapack.dat", pack({{"kept.txt", "kept"}}) + "dangling.txt");

    EXPECT_EQ(load("dangling.txt", false).result, AssetNotFound);
    EXPECT_EQ(load("kept.txt", false).content, "kept");
}

TEST_F(AssetFileTest, OutSizeIsOptional)
{
    demo.write("datapack.dat", pack({{"s.txt", "sized"}}));
    char* data = nullptr;
    EXPECT_EQ(loadAssetFile("s.txt", &data, nullptr, true), AssetFromDataPack);
    ASSERT_NE(data, nullptr);
    EXPECT_STREQ(data, "sized");
    delete[] data;
}

} // namespace
