// Kills a saving process at random moments and checks what it leaves.
//
//   crash_saves <folder> <rounds> <seed>
//
// Each round forks a child that saves, over and over, one generation after
// another: the track files of a sync device (through the background
// writer), an active skene setup file, the current-setup file and a sync
// editor project, each generation with other content and sizes. After its
// first whole generation the child is killed (SIGKILL) at a random moment
// within about the time of two more. Every file must then hold the last
// generation the child finished, or the one it was saving: never a
// truncated or mixed file. Prints one line of counts, and a line per file
// that is neither; the exit code is 0 when every file of every round was
// whole.
//
// The parent forks before it ever starts a thread, so each child starts
// from a clean process; the folder is best on a memory file system
// (/dev/shm), where flushing costs nothing.
#include "platform/Files.h"
#include "platform/Installed.h"
#include "state/ActiveSkeneList.h"
#include "sync/sync_device.h"
#include "sync/track_file.h"
#include "tracker/lib/ProjectFile.h"
#include "tracker/lib/TrackerModel.h"

#include <QString>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr int kTracks = 4;

std::string trackName(int t)
{
    return "s.t" + std::to_string(t);
}

// The keys of track t in generation g: their number and values change with
// g, so two generations never have the same file.
std::vector<TrackKey> keysOf(int64_t g, int t)
{
    std::vector<TrackKey> keys(size_t(10 + (g * 7 + t * 13) % 90));
    for (size_t i = 0; i < keys.size(); ++i)
        keys[i] = {int32_t(i * 3), float(g) + float(i) * 0.25f, int32_t(i % 5)};
    return keys;
}

std::vector<ActiveSkene> setupOf(int64_t g)
{
    std::vector<ActiveSkene> entries;
    for (int i = 0; i < 1 + g % 20; ++i)
        entries.push_back({"skene" + std::to_string(g) + "_" + std::to_string(i), i + 1});
    return entries;
}

std::string currentNameOf(int64_t g)
{
    return "setup" + std::to_string(g) + std::string(size_t(g % 300), 'x') + ".as";
}

void fillProject(tracker::TrackerModel& model, int64_t g)
{
    for (int t = 0; t < kTracks; ++t) {
        const std::vector<TrackKey> keys = keysOf(g, t);
        model.replaceKeys(model.addTrack(trackName(t)), keys.data(), int(keys.size()));
    }
    model.setBookmarks({int32_t(g)});
}

const char kSetup[] = "fx/_ActiveSkeneSetups/crash.as";
const char kProject[] = "project.rocket";

// The child: saves generation after generation, and reports each whole one
// on the pipe. Never returns.
[[noreturn]] void saveForever(int64_t g, int report)
{
    // The setup file is written from the demo's list, as the edit view does.
    Owned<ActiveSkeneList> list;
    SyncDevice* device = sync_create_device("sync", 0);
    std::vector<SyncTrack*> tracks;
    for (int t = 0; t < kTracks; ++t)
        tracks.push_back(sync_get_track(device, trackName(t).c_str(), 1)); // no socket: nothing sent
    activeSkeneList().setupPath = kSetup;
    for (;; ++g) {
        for (int t = 0; t < kTracks; ++t) {
            clear_keys(tracks[size_t(t)]);
            for (const TrackKey& k : keysOf(g, t))
                set_key(tracks[size_t(t)], k);
        }
        sync_save_tracks(device);
        activeSkeneList().entries = setupOf(g);
        writeActiveSkenes();
        writeCurrentSetupName("fx", currentNameOf(g));
        tracker::TrackerModel model;
        fillProject(model, g);
        QString error;
        tracker::saveProject(QString::fromLatin1(kProject), model, &error);
        platform::finishBackgroundWrites();
        if (::write(report, &g, sizeof g) != sizeof g)
            std::_Exit(3);
    }
}

// Which of the two generations a file holds: 0 the older, 1 the newer, -1
// neither.
template <typename Holds>
int whichOf(int64_t older, Holds holds)
{
    if (holds(older))
        return 0;
    if (holds(older + 1))
        return 1;
    return -1;
}

struct Counts {
    int rounds = 0;
    int broken = 0;
    int newer = 0;     // rounds that ended with some file already new
    int leftovers = 0; // rounds that left a temporary file behind
};

bool hiddenTemporaryIn(const std::string& dir)
{
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name[0] == '.' && name.find(".tmp") != std::string::npos)
            return true;
    }
    return false;
}

void removeTemporaries(const std::string& dir)
{
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(dir, ec)) {
        const std::string name = e.path().filename().string();
        if (name[0] == '.' && name.find(".tmp") != std::string::npos)
            std::filesystem::remove(e.path(), ec);
    }
}

void checkFiles(int64_t done, Counts& counts)
{
    std::vector<std::pair<std::string, int>> verdicts;
    for (int t = 0; t < kTracks; ++t) {
        const std::string path = "sync/sync_" + trackName(t) + ".track";
        std::string bytes;
        platform::readWholeFile(path, bytes);
        verdicts.emplace_back(path, whichOf(done, [&](int64_t g) {
            const std::vector<TrackKey> keys = keysOf(g, t);
            if (bytes.size() != 4 + 9 * keys.size())
                return false;
            SyncTrack track{};
            const bool same = read_track_file_at(&track, path.c_str()) == 0
                              && track.num_keys == int32_t(keys.size())
                              && std::equal(keys.begin(), keys.end(), track.keys, [](const TrackKey& a, const TrackKey& b) {
                                     return a.row == b.row && a.value == b.value && a.type == b.type;
                                 });
            clear_keys(&track);
            return same;
        }));
    }
    std::string setup;
    platform::readWholeFile(kSetup, setup);
    verdicts.emplace_back(kSetup, whichOf(done, [&](int64_t g) { return setup == formatActiveSkenes(setupOf(g)); }));
    const std::string current = readCurrentSetupName("fx");
    verdicts.emplace_back("current setup", whichOf(done, [&](int64_t g) { return current == currentNameOf(g); }));
    tracker::TrackerModel loaded;
    const bool read = tracker::loadProject(QString::fromLatin1(kProject), loaded).status == tracker::LoadResult::Loaded;
    verdicts.emplace_back(kProject, whichOf(done, [&](int64_t g) {
        if (!read || loaded.trackCount() != kTracks || loaded.bookmarks() != std::set<int32_t>{int32_t(g)})
            return false;
        for (int t = 0; t < kTracks; ++t) {
            if (loaded.keys(t).num_keys != int32_t(keysOf(g, t).size()))
                return false;
        }
        return true;
    }));

    bool newer = false;
    for (const auto& [path, verdict] : verdicts) {
        if (verdict < 0) {
            ++counts.broken;
            std::printf("round %d: %s is neither generation %lld nor %lld\n", counts.rounds, path.c_str(),
                        (long long)done, (long long)done + 1);
        }
        newer = newer || verdict == 1;
    }
    counts.newer += newer ? 1 : 0;
}

// Reads every report waiting on the pipe; the last generation reported, or
// `last` when none came within waitMs.
int64_t readReports(int fd, int64_t last, int waitMs)
{
    pollfd p{fd, POLLIN, 0};
    while (::poll(&p, 1, waitMs) == 1) {
        int64_t g;
        if (::read(fd, &g, sizeof g) != sizeof g)
            break;
        last = g;
        waitMs = 0;
    }
    return last;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: crash_saves <folder> <rounds> <seed>\n");
        return 2;
    }
    const std::string folder = argv[1];
    const int rounds = std::atoi(argv[2]);
    std::mt19937 rng(unsigned(std::atoi(argv[3])));
    std::filesystem::create_directories(folder + "/sync");
    std::filesystem::create_directories(folder + "/fx/_ActiveSkeneSetups");
    if (::chdir(folder.c_str()) != 0)
        return 2;

    Counts counts;
    int64_t next = 1; // the generation the next child starts with
    for (; counts.rounds < rounds; ++counts.rounds) {
        int fds[2];
        if (::pipe(fds) != 0)
            return 2;
        const auto started = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            ::close(fds[0]);
            saveForever(next, fds[1]);
        }
        ::close(fds[1]);
        // The first whole generation tells how long one takes.
        const int64_t first = readReports(fds[0], -1, 20000);
        if (first < 0) {
            std::printf("round %d: the child saved nothing\n", counts.rounds);
            ::kill(child, SIGKILL);
            ::waitpid(child, nullptr, 0);
            return 1;
        }
        const auto generation = std::chrono::steady_clock::now() - started;
        std::uniform_int_distribution<int64_t> pause(
            0, 2 * std::chrono::duration_cast<std::chrono::microseconds>(generation).count());
        std::this_thread::sleep_for(std::chrono::microseconds(pause(rng)));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const int64_t done = readReports(fds[0], first, 0);
        ::close(fds[0]);

        checkFiles(done, counts);
        if (hiddenTemporaryIn("sync") || hiddenTemporaryIn("fx/_ActiveSkeneSetups") || hiddenTemporaryIn("fx")
            || hiddenTemporaryIn(".")) {
            ++counts.leftovers;
            for (const char* dir : {"sync", "fx/_ActiveSkeneSetups", "fx", "."})
                removeTemporaries(dir);
        }
        // Files hold `done` or `done + 1`: the next child starts past both.
        next = done + 2;
    }
    std::printf("rounds %d broken %d newer %d leftovers %d\n", counts.rounds, counts.broken, counts.newer,
                counts.leftovers);
    return counts.broken == 0 ? 0 : 1;
}
