#include "platform/Clock.h"
#include "platform/DirectoryListing.h"
#include "platform/Files.h"

#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fstream>
#include <dirent.h>
#include <dlfcn.h>
#include <iterator>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

// Stands in for the C library's readdir (the executable's definition wins
// over the library's), so a test can make a listing fail part-way as a
// failing disk or a vanishing network share does.
static int readdirCallsBeforeFailure = -1; // -1: never fail

extern "C" struct dirent* readdir(DIR* dir)
{
    using Readdir = struct dirent* (*)(DIR*);
    static const auto real = reinterpret_cast<Readdir>(dlsym(RTLD_NEXT, "readdir"));
    if (readdirCallsBeforeFailure == 0) {
        errno = EIO;
        return nullptr;
    }
    if (readdirCallsBeforeFailure > 0)
        --readdirCallsBeforeFailure;
    return real(dir);
}

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

mode_t modeOf(const std::string& path)
{
    struct stat st {};
    ::lstat(path.c_str(), &st);
    return st.st_mode;
}

// Names created in dir while write() runs, as the kernel reports them.
template <typename Write>
std::vector<std::string> namesCreatedBy(const std::string& dir, Write write)
{
    const int fd = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    inotify_add_watch(fd, dir.c_str(), IN_CREATE | IN_MOVED_TO);
    write();
    std::vector<std::string> names;
    alignas(inotify_event) char buf[8192];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) {
        for (char* p = buf; p < buf + n;) {
            const auto* e = reinterpret_cast<const inotify_event*>(p);
            if (e->len > 0)
                names.emplace_back(e->name);
            p += sizeof(inotify_event) + e->len;
        }
    }
    ::close(fd);
    return names;
}

} // namespace

TEST(DirectoryListing, OrdersNamesCaseInsensitivelyByByteAfterUpperCasing)
{
    TempDemo demo;
    for (const char* name : {"beta", "Alpha", "_shared", "zeta", "alpha2", "Zed", "a_b", "aB"})
        demo.makeDir(name);
    // '_' (0x5F) sorts after upper-cased letters, as in an NTFS listing.
    const std::vector<std::string> expected = {"aB", "Alpha", "alpha2", "a_b", "beta", "Zed", "zeta", "_shared"};
    EXPECT_EQ(platform::listDirectory(demo.root()), expected);
}

TEST(DirectoryListing, AListingThatFailsPartWayGivesWhatWasRead)
{
    TempDemo demo;
    for (const char* name : {"a", "b", "c", "d", "e", "f"})
        demo.makeDir(name);
    readdirCallsBeforeFailure = 5; // five of the eight entries, "." and ".." among them
    std::vector<std::string> names;
    EXPECT_NO_THROW(names = platform::listDirectory(demo.root()));
    readdirCallsBeforeFailure = -1;
    EXPECT_GE(names.size(), 3u);
    EXPECT_LE(names.size(), 5u);
    EXPECT_EQ(platform::listDirectory(demo.root()).size(), 6u);
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

TEST(Files, AtomicWriteKeepsLinksModesAndReadOnlyFiles)
{
    TempDemo demo;
    // A file made read-only is refused, even for root, and stays as it was.
    const std::string locked = demo.path("locked.as");
    demo.write("locked.as", "kept");
    chmod(locked.c_str(), 0444);
    EXPECT_FALSE(platform::writeFileAtomically(locked, "lost"));
    platform::writeFileAtomicallyInBackground(locked, "lost");
    platform::finishBackgroundWrites();
    EXPECT_EQ(readAll(locked), "kept");
    EXPECT_EQ(modeOf(locked) & 0777, 0444u);

    // A link is written through: it stays a link, its target changes.
    demo.write("shared/real.cfg", "old");
    ASSERT_EQ(::symlink("shared/real.cfg", demo.path("link.cfg").c_str()), 0);
    ASSERT_TRUE(platform::writeFileAtomically(demo.path("link.cfg"), "new"));
    EXPECT_TRUE(S_ISLNK(modeOf(demo.path("link.cfg"))));
    EXPECT_EQ(readAll(demo.path("shared/real.cfg")), "new");
    // A dangling link creates the file it names.
    ASSERT_EQ(::symlink("shared/later.cfg", demo.path("dangling.cfg").c_str()), 0);
    platform::writeFileAtomicallyInBackground(demo.path("dangling.cfg"), "made");
    platform::finishBackgroundWrites();
    EXPECT_TRUE(S_ISLNK(modeOf(demo.path("dangling.cfg"))));
    EXPECT_EQ(readAll(demo.path("shared/later.cfg")), "made");

    // The permission bits survive the replacement.
    demo.write("private.cfg", "a");
    chmod(demo.path("private.cfg").c_str(), 0640);
    ASSERT_TRUE(platform::writeFileAtomically(demo.path("private.cfg"), "b"));
    EXPECT_EQ(modeOf(demo.path("private.cfg")) & 07777, 0640u);
}

TEST(Files, TemporaryFilesAreHiddenFromListings)
{
    TempDemo demo;
    demo.write("setups/party.as", "x");
    const std::vector<std::string> created = namesCreatedBy(demo.path("setups"), [&] {
        ASSERT_TRUE(platform::writeFileAtomically(demo.path("setups/party.as"), "y"));
        platform::writeFileAtomicallyInBackground(demo.path("setups/other.as"), "z");
        platform::finishBackgroundWrites();
    });
    ASSERT_GE(created.size(), 2u);
    for (const std::string& name : created) {
        if (name != "party.as" && name != "other.as") { // renamed into place
            EXPECT_EQ(name[0], '.') << name;
        }
    }
    EXPECT_EQ(readAll(demo.path("setups/other.as")), "z");
}
