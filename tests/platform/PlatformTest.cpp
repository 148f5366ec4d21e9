#include "platform/Clock.h"
#include "platform/DirectoryListing.h"
#include "platform/Files.h"

#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sys/stat.h>

TEST(DirectoryListing, OrdersNamesCaseInsensitivelyByByteAfterUpperCasing)
{
    TempDemo demo;
    for (const char* name : {"beta", "Alpha", "_shared", "zeta", "alpha2", "Zed", "a_b", "aB"})
        demo.makeDir(name);
    // '_' (0x5F) sorts after upper-cased letters, as in an NTFS listing.
    const std::vector<std::string> expected = {"aB", "Alpha", "alpha2", "a_b", "beta", "Zed", "zeta", "_shared"};
    EXPECT_EQ(platform::listDirectory(demo.root()), expected);
}

TEST(DirectoryListing, MissingDirectoryIsEmpty)
{
    EXPECT_TRUE(platform::listDirectory("/nonexistent/tarvonic").empty());
}

TEST(Files, AtomicWriteReplacesContentAndFailsWithoutTouchingTheOldFile)
{
    TempDemo demo;
    const std::string path = demo.path("settings.cfg");
    ASSERT_TRUE(platform::writeFileAtomically(path, "first"));
    ASSERT_TRUE(platform::writeFileAtomically(path, "second"));
    std::ifstream in(path);
    std::string content;
    std::getline(in, content);
    EXPECT_EQ(content, "second");

    // A folder that cannot be written: the write fails, the file stays.
    demo.makeDir("locked");
    const std::string locked = demo.path("locked/file.cfg");
    ASSERT_TRUE(platform::writeFileAtomically(locked, "kept"));
    chmod(demo.path("locked").c_str(), 0500);
    if (geteuid() != 0) { // root ignores permissions
        EXPECT_FALSE(platform::writeFileAtomically(locked, "lost"));
        std::ifstream again(locked);
        std::getline(again, content);
        EXPECT_EQ(content, "kept");
    }
    chmod(demo.path("locked").c_str(), 0700);
    EXPECT_FALSE(platform::writeFileAtomically(demo.path("no/such/dir/file"), "x"));
}

TEST(Clock, MillisecondClockAdvancesWithSleep)
{
    const uint32_t before = platform::millisecondClock();
    const int64_t ns = platform::steadyNanoseconds();
    platform::sleepMilliseconds(20);
    EXPECT_GE(uint32_t(platform::millisecondClock() - before), 19u);
    EXPECT_GE(platform::steadyNanoseconds() - ns, 19'000'000);
}
