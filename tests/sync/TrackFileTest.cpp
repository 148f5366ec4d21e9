#include "sync/sync_device.h"
#include "sync/track_file.h"

#include "platform/Files.h"

#include "support/LogCapture.h"
#include "support/TempDemo.h"

#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <fstream>
#include <iterator>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {

std::string readAll(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool exists(const std::string& path)
{
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

// A demo folder with an empty sync/ folder, entered as working directory.
struct SyncFolder {
    TempDemo demo;
    SyncFolder()
    {
        demo.makeDir("sync");
        demo.enter();
    }
};

struct OwnedTrack {
    SyncTrack track{};
    explicit OwnedTrack(const char* name) { track.name = strdup(name); }
    ~OwnedTrack()
    {
        clear_keys(&track);
        free(track.name);
    }
};

} // namespace

TEST(TrackFile, WritesTheExactLittleEndianLayoutAndReadsItBack)
{
    SyncFolder folder;
    OwnedTrack t("intro.cam.x");
    set_key(&t.track, {0, 1.0f, int32_t(KeyType::Linear)});
    set_key(&t.track, {16, 2.5f, int32_t(KeyType::Step)});
    ASSERT_EQ(write_track_file(&t.track, "sync"), 0);

    const std::string expected("\x02\x00\x00\x00"
                               "\x00\x00\x00\x00" "\x00\x00\x80\x3F" "\x01"
                               "\x10\x00\x00\x00" "\x00\x00\x20\x40" "\x00", 22);
    EXPECT_EQ(readAll("sync/sync_intro.cam.x.track"), expected);

    OwnedTrack back("intro.cam.x");
    ASSERT_EQ(read_track_file(&back.track, "sync"), 0);
    EXPECT_EQ(back.track.data_received, 1);
    ASSERT_EQ(back.track.num_keys, 2);
    EXPECT_EQ(back.track.keys[1].row, 16);
    EXPECT_EQ(back.track.keys[1].value, 2.5f);
    EXPECT_EQ(back.track.keys[0].type, int32_t(KeyType::Linear));
    EXPECT_FLOAT_EQ(get_value(&back.track, 8.0), 1.75f); // halfway along the Linear segment
}

TEST(TrackFile, ATrackReadAgainIsNotAnsweredFromItsOldSegment)
{
    SyncFolder folder;
    OwnedTrack first("intro.fade");
    set_key(&first.track, {0, 0.0f, int32_t(KeyType::Linear)});
    set_key(&first.track, {10, 10.0f, int32_t(KeyType::Step)});
    ASSERT_EQ(write_track_file(&first.track, "sync"), 0);

    OwnedTrack read("intro.fade");
    ASSERT_EQ(read_track_file(&read.track, "sync"), 0);
    // Rows advancing as a playing demo reads them keep the segment.
    for (double row = 1.0; row < 5.0; row += 0.2)
        EXPECT_FLOAT_EQ(get_value(&read.track, row), float(row));
    // The file changes on disk and is read into the same track (its key
    // array may come back at the same address): the new keys answer.
    set_key(&first.track, {0, 100.0f, int32_t(KeyType::Linear)});
    ASSERT_EQ(write_track_file(&first.track, "sync"), 0);
    ASSERT_EQ(read_track_file(&read.track, "sync"), 0);
    EXPECT_FLOAT_EQ(get_value(&read.track, 5.0), 55.0f);
    // And an overwrite in place through the key functions.
    set_key(&read.track, {10, 20.0f, int32_t(KeyType::Step)});
    EXPECT_FLOAT_EQ(get_value(&read.track, 5.2), 100.0f + (20.0f - 100.0f) * 0.52f);
}

TEST(TrackFile, EmptyAndMissingFiles)
{
    SyncFolder folder;
    OwnedTrack never("a.never");
    ASSERT_EQ(write_track_file(&never.track, "sync"), 0); // an editor never filled it: count 0
    EXPECT_EQ(readAll("sync/sync_a.never.track"), std::string(4, '\0'));

    OwnedTrack empty("a.never");
    ASSERT_EQ(read_track_file(&empty.track, "sync"), 0);
    EXPECT_EQ(empty.track.data_received, 1);
    EXPECT_EQ(empty.track.num_keys, 0);
    EXPECT_EQ(get_value(&empty.track, 3.0), 0.0f);

    OwnedTrack missing("a.missing");
    EXPECT_EQ(read_track_file(&missing.track, "sync"), 1);
    EXPECT_EQ(missing.track.data_received, 0);
    EXPECT_EQ(missing.track.num_keys, 0);
}

TEST(TrackFile, DamagedFilesGiveOnlyTheKeysReallyPresent)
{
    SyncFolder folder;
    const std::string twoKeys("\x00\x00\x00\x00" "\x00\x00\x80\x3F" "\x01"
                              "\x08\x00\x00\x00" "\x00\x00\x00\x40" "\xFF", 18);
    struct Case {
        const char* name;
        std::string bytes;
        int keys;
    } cases[] = {
        {"a.huge", std::string("\xE8\x03\x00\x00", 4) + twoKeys + "tail", 2}, // count 1000
        {"a.max", std::string("\xFF\xFF\xFF\x7F", 4) + twoKeys, 2},           // count INT32_MAX
        {"a.negative", std::string("\xFE\xFF\xFF\xFF", 4) + twoKeys, 0},      // count -2
        {"a.short", std::string("\x02\x00", 2), 0},
        {"a.nothing", std::string(), 0},
        {"a.half", std::string("\x02\x00\x00\x00", 4) + twoKeys.substr(0, 13), 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        folder.demo.write(std::string("sync/sync_") + c.name + ".track", c.bytes);
        OwnedTrack t(c.name);
        ASSERT_EQ(read_track_file(&t.track, "sync"), 0);
        EXPECT_EQ(t.track.data_received, 1);
        ASSERT_EQ(t.track.num_keys, c.keys);
        if (c.keys == 2) {
            // The type byte is signed: 0xFF is -1, a type with no shape.
            EXPECT_EQ(t.track.keys[1].type, -1);
            EXPECT_EQ(t.track.keys[1].value, 2.0f);
            EXPECT_FLOAT_EQ(get_value(&t.track, 4.0), 1.5f);
        }
    }
}

TEST(TrackFile, NamesWithoutAFileAreNeitherWrittenNorRead)
{
    SyncFolder folder;
    std::string path;
    EXPECT_EQ(track_file_path("sync", "a.b", &path), 0);
    EXPECT_EQ(path, "sync/sync_a.b.track");

    // "sync_" + name + ".track" plus the terminator must fit in 260 bytes.
    const std::string fits(259 - 11, 'n');
    const std::string tooLong(260 - 11, 'n');
    EXPECT_EQ(track_file_path("sync", fits.c_str(), &path), 0);
    EXPECT_EQ(path.size(), 5u + 259u);
    EXPECT_EQ(track_file_path("sync", tooLong.c_str(), &path), 1);
    EXPECT_TRUE(path.empty());
    EXPECT_EQ(track_file_path("sync", "a/../../escape", &path), 1);

    OwnedTrack slash("a/b");
    set_key(&slash.track, {0, 1.0f, 0});
    EXPECT_EQ(write_track_file(&slash.track, "sync"), 1);
    EXPECT_FALSE(exists("sync/sync_a"));
    OwnedTrack long_(tooLong.c_str());
    EXPECT_EQ(write_track_file(&long_.track, "sync"), 1);

    folder.demo.makeDir("sync/sync_a");
    folder.demo.write("sync/sync_a/b.track", std::string(4, '\0'));
    OwnedTrack slashRead("a/b");
    EXPECT_EQ(read_track_file(&slashRead.track, "sync"), 1);
    EXPECT_EQ(slashRead.track.data_received, 0);
}

TEST(TrackFile, FailedSaveKeepsThePreviousFile)
{
    SyncFolder folder;
    OwnedTrack t("a.kept");
    set_key(&t.track, {0, 1.0f, 1});
    set_key(&t.track, {16, 2.5f, 0});
    ASSERT_EQ(write_track_file(&t.track, "sync"), 0);
    const std::string before = readAll("sync/sync_a.kept.track");
    ASSERT_EQ(before.size(), 22u);

    // A full disk, as far as this process can tell: files may not grow past
    // 30 bytes (root is not exempt from this limit).
    for (int r = 100; r < 110; ++r)
        set_key(&t.track, {r, 3.0f, 0});
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit old;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 30;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const int result = write_track_file(&t.track, "sync");
    setrlimit(RLIMIT_FSIZE, &old);

    EXPECT_EQ(result, 1);
    EXPECT_EQ(readAll("sync/sync_a.kept.track"), before);
}

TEST(TrackFile, DeviceSavesEveryTrackAndReadsFilesWhenNotLive)
{
    SyncFolder folder;
    SyncDevice* writer = sync_create_device("sync", 0);
    ASSERT_NE(writer, nullptr);
    SyncTrack* x = sync_get_track(writer, "s.x", 0);
    SyncTrack* bad = sync_get_track(writer, "s/bad", 0);
    SyncTrack* y = sync_get_track(writer, "s.y", 0);
    ASSERT_TRUE(x && bad && y);
    EXPECT_EQ(x->data_received, 0); // no file yet
    set_key(x, {3, 4.0f, 0});
    set_key(bad, {3, 4.0f, 0});
    set_key(y, {7, 8.0f, 1});
    sync_save_tracks(writer);
    sync_destroy_device(writer);
    platform::finishBackgroundWrites();
    EXPECT_TRUE(exists("sync/sync_s.x.track"));
    EXPECT_TRUE(exists("sync/sync_s.y.track"));

    SyncDevice* player = sync_create_device("sync", 0);
    SyncTrack* y2 = sync_get_track(player, "s.y", 0);
    ASSERT_NE(y2, nullptr);
    EXPECT_EQ(y2->data_received, 1);
    ASSERT_EQ(y2->num_keys, 1);
    EXPECT_EQ(get_value(y2, 0.0), 8.0f);
    EXPECT_EQ(sync_get_track(player, "s.y", 0), y2); // read once, then found
    sync_destroy_device(player);
}

TEST(TrackFile, SaveSkipsTracksWhoseDataNeverArrived)
{
    SyncFolder folder;
    OwnedTrack good("s.anim");
    set_key(&good.track, {0, 1.0f, 1});
    set_key(&good.track, {8, 2.0f, 0});
    ASSERT_EQ(write_track_file(&good.track, "sync"), 0);
    const std::string before = readAll("sync/sync_s.anim.track");

    // A live device whose editor never answered: its tracks know nothing.
    LogCapture log;
    SyncDevice* device = sync_create_device("sync", 1);
    ASSERT_NE(sync_get_track(device, "s.anim", 1), nullptr);
    SyncTrack* known = sync_get_track(device, "s.known", 1);
    known->data_received = 1; // the editor reported it empty
    sync_save_tracks(device);
    sync_destroy_device(device);
    platform::finishBackgroundWrites();

    EXPECT_EQ(readAll("sync/sync_s.anim.track"), before);
    EXPECT_EQ(readAll("sync/sync_s.known.track"), std::string(4, '\0'));
    EXPECT_TRUE(log.contains("sync_save_tracks skipped a track whose data never arrived:s.anim"));
}

TEST(TrackFile, UnsortedKeysAreSortedAndDuplicateRowsDroppedOnReading)
{
    SyncFolder folder;
    // Rows 20, 0, 10, 10, all Spline: read in file order, the segment
    // weights of row 5 divide by zero.
    std::string bytes("\x04\x00\x00\x00", 4);
    auto key = [&](int32_t row, float value) {
        bytes.append(reinterpret_cast<const char*>(&row), 4); // little-endian host
        bytes.append(reinterpret_cast<const char*>(&value), 4);
        bytes.push_back(char(KeyType::Spline));
    };
    key(20, 1.0f);
    key(0, 5.0f);
    key(10, 1.0f);
    key(10, 3.0f);
    folder.demo.write("sync/sync_s.bad.track", bytes);

    OwnedTrack t("s.bad");
    ASSERT_EQ(read_track_file(&t.track, "sync"), 0);
    ASSERT_EQ(t.track.num_keys, 3);
    EXPECT_EQ(t.track.keys[0].row, 0);
    EXPECT_EQ(t.track.keys[1].row, 10);
    EXPECT_EQ(t.track.keys[1].value, 3.0f); // the later key of a row wins
    EXPECT_EQ(t.track.keys[2].row, 20);
    for (double row = -2.0; row <= 24.0; row += 0.25)
        ASSERT_TRUE(std::isfinite(get_value(&t.track, row))) << row;
    EXPECT_EQ(find_key(&t.track, 10), 1);
}
